// A receiver built on Qt's own keyboard handling (xkbcommon): a plain text
// window that keeps OUTPUT_FILE equal to its text (UTF-8) and writes its
// window id to ID_FILE once it is shown. Used by the typing tests.
//
// Usage: bexlow-qt-text-receiver OUTPUT_FILE ID_FILE
#include <QApplication>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    // Whole files replaced at once: a reader never sees one half written.
    const auto save = [](const char *path, const QByteArray &bytes) {
        QSaveFile file(QString::fromLocal8Bit(path));
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            file.commit();
    };
    QPlainTextEdit editor;
    // The file follows the text a little after the last change: saving on
    // every key would slow the window so much that it would look keycodes up
    // long after they were rebound.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(20);
    QObject::connect(&editor, &QPlainTextEdit::textChanged, &saveTimer, qOverload<>(&QTimer::start));
    QObject::connect(&saveTimer, &QTimer::timeout, [&] { save(argv[1], editor.toPlainText().toUtf8()); });
    save(argv[1], {});
    editor.show();
    QTimer::singleShot(0, &editor, [&] { save(argv[2], QByteArray::number(qulonglong(editor.winId()))); });
    return app.exec();
}
