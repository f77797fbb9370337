// A receiver built on Qt's own keyboard handling (xkbcommon): a plain text
// window that keeps OUTPUT_FILE equal to its text (UTF-8) and writes its
// window id to ID_FILE once it is shown. Used by the typing tests.
//
// Usage: bexlow-qt-text-receiver OUTPUT_FILE ID_FILE
#include <QApplication>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

namespace {

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        std::fprintf(stderr, "qt-text-receiver: cannot write %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE ID_FILE\n", argv[0]);
        return 2;
    }
    const QString outputFile = QString::fromLocal8Bit(argv[1]);
    const QString idFile = QString::fromLocal8Bit(argv[2]);

    QPlainTextEdit editor;
    editor.setWindowTitle(QStringLiteral("bexlow typing test receiver"));
    editor.resize(500, 300);

    // The file follows the text shortly after each change.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(20);
    QObject::connect(&editor, &QPlainTextEdit::textChanged, &saveTimer, qOverload<>(&QTimer::start));
    QObject::connect(&saveTimer, &QTimer::timeout, &editor,
                     [&] { writeAtomically(outputFile, editor.toPlainText().toUtf8()); });

    writeAtomically(outputFile, QByteArray());
    editor.show();
    QTimer::singleShot(0, &editor, [&] { writeAtomically(idFile, QByteArray::number(qulonglong(editor.winId()))); });
    return app.exec();
}
