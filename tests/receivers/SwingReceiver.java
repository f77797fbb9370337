// A receiver in Java Swing: one text area in a window titled "bexlow swing
// receiver". Keeps OUTPUT_FILE equal to the area's text (UTF-8).
// Usage: java SwingReceiver.java OUTPUT_FILE
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import javax.swing.JFrame;
import javax.swing.JScrollPane;
import javax.swing.JTextArea;
import javax.swing.SwingUtilities;
import javax.swing.Timer;
import javax.swing.event.DocumentEvent;
import javax.swing.event.DocumentListener;

public class SwingReceiver {
    public static void main(String[] args) throws Exception {
        Path output = Path.of(args[0]);
        save(output, "");
        SwingUtilities.invokeAndWait(() -> {
            JFrame frame = new JFrame("bexlow swing receiver");
            JTextArea text = new JTextArea(30, 80);
            Timer saver = new Timer(20, event -> save(output, text.getText()));
            saver.setRepeats(false);
            text.getDocument().addDocumentListener(new DocumentListener() {
                public void insertUpdate(DocumentEvent event) { saver.restart(); }
                public void removeUpdate(DocumentEvent event) { saver.restart(); }
                public void changedUpdate(DocumentEvent event) { saver.restart(); }
            });
            frame.add(new JScrollPane(text));
            frame.setDefaultCloseOperation(JFrame.EXIT_ON_CLOSE);
            frame.pack();
            frame.setVisible(true);
        });
    }

    // Whole files replaced at once: a reader never sees one half written.
    static void save(Path output, String value) {
        try {
            Path temporary = Path.of(output + ".new");
            Files.write(temporary, value.getBytes(StandardCharsets.UTF_8));
            Files.move(temporary, output, StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
        } catch (Exception error) {
            throw new RuntimeException(error);
        }
    }
}
