// A receiver built on Qt's own keyboard handling (xkbcommon): a plain text
// window that keeps OUTPUT_FILE equal to its text (UTF-8) and writes its
// window id to ID_FILE once it is shown. Used by the typing tests. With
// MODS_FILE, that file holds how many key presses came with a modifier
// (Shift, Ctrl, Alt, Meta).
//
// Usage: bexlow-qt-text-receiver OUTPUT_FILE ID_FILE [MODS_FILE]
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTimer>

#include <functional>

namespace {

class Editor : public QPlainTextEdit
{
public:
    int modifiedPresses = 0;
    std::function<void()> pressed;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            ++modifiedPresses;
        QPlainTextEdit::keyPressEvent(event);
        if (pressed)
            pressed();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4)
        return 2;
    // Whole files replaced at once: a reader never sees one half written.
    const auto save = [](const char *path, const QByteArray &bytes) {
        QSaveFile file(QString::fromLocal8Bit(path));
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            file.commit();
    };
    Editor editor;
    // The file follows the text a little after the last change: saving on
    // every key would slow the window so much that it would look keycodes up
    // long after they were rebound.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(20);
    QObject::connect(&editor, &QPlainTextEdit::textChanged, &saveTimer, qOverload<>(&QTimer::start));
    QObject::connect(&saveTimer, &QTimer::timeout, [&] {
        save(argv[1], editor.toPlainText().toUtf8());
        if (argc == 4)
            save(argv[3], QByteArray::number(editor.modifiedPresses));
    });
    // A key that changes no text (a shortcut) still updates the count.
    editor.pressed = [&] { saveTimer.start(); };
    save(argv[1], {});
    editor.show();
    QTimer::singleShot(0, &editor, [&] { save(argv[2], QByteArray::number(qulonglong(editor.winId()))); });
    return app.exec();
}
