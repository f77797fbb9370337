// A receiver built on GTK 3's keyboard handling (GDK's keymap and its input
// method): a text view that keeps OUTPUT_FILE equal to its text (UTF-8) and
// writes its window id to ID_FILE once it is shown. Used by the typing tests.
//
// Usage: bexlow-gtk-text-receiver OUTPUT_FILE ID_FILE
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <string>

namespace {

std::string outputFile;
guint saveSource = 0;

// Whole files replaced at once: a reader never sees one half written.
void save(const std::string &path, const std::string &bytes)
{
    g_file_set_contents(path.c_str(), bytes.data(), gssize(bytes.size()), nullptr);
}

gboolean saveText(gpointer buffer)
{
    gchar *text = nullptr;
    g_object_get(buffer, "text", &text, nullptr);
    save(outputFile, text);
    g_free(text);
    saveSource = 0;
    return G_SOURCE_REMOVE;
}

// Saves a little after the last change, as the Qt receiver does.
void textChanged(GtkTextBuffer *buffer, gpointer)
{
    if (saveSource == 0)
        saveSource = g_timeout_add(20, saveText, buffer);
}

void windowMapped(GtkWidget *window, GdkEvent *, gpointer idFile)
{
    save(static_cast<const char *>(idFile), std::to_string(GDK_WINDOW_XID(gtk_widget_get_window(window))));
}

} // namespace

int main(int argc, char *argv[])
{
    gtk_init(&argc, &argv);
    if (argc != 3)
        return 2;
    outputFile = argv[1];
    save(outputFile, "");
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 600, 400);
    GtkWidget *view = gtk_text_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), "changed", G_CALLBACK(textChanged), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(windowMapped), argv[2]);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(view);
    gtk_main();
    return 0;
}
