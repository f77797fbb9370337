#!/usr/bin/python3
"""A receiver built on Qt's own keyboard handling (xkbcommon): a plain text
window that keeps OUTPUT_FILE equal to its text (UTF-8) and writes its window
id to ID_FILE once it is shown. With MODS_FILE, that file holds how many key
presses came with a modifier (Shift, Ctrl, Alt, Meta). Used by the typing tests.

Usage: qttextreceiver.py OUTPUT_FILE ID_FILE [MODS_FILE]
"""
import sys

from PyQt6.QtCore import QSaveFile, QTimer, Qt
from PyQt6.QtWidgets import QApplication, QPlainTextEdit

MODIFIERS = (Qt.KeyboardModifier.ShiftModifier | Qt.KeyboardModifier.ControlModifier
             | Qt.KeyboardModifier.AltModifier | Qt.KeyboardModifier.MetaModifier)


def save(path, data):
    """Whole files replaced at once: a reader never sees one half written."""
    file = QSaveFile(path)
    if file.open(QSaveFile.OpenModeFlag.WriteOnly) and file.write(data) == len(data):
        file.commit()


class Editor(QPlainTextEdit):
    modified_presses = 0

    def keyPressEvent(self, event):
        if event.modifiers() & MODIFIERS:
            self.modified_presses += 1
        super().keyPressEvent(event)
        save_timer.start()  # a key that changes no text (a shortcut) still updates the count


app = QApplication(sys.argv)
if len(sys.argv) not in (3, 4):
    sys.exit(__doc__)
editor = Editor()
# The file follows the text a little after the last change: saving on every
# key would slow the window so much that it would look keycodes up long after
# they were rebound.
save_timer = QTimer(singleShot=True, interval=20)
editor.textChanged.connect(save_timer.start)


def save_all():
    save(sys.argv[1], editor.toPlainText().encode("utf-8"))
    if len(sys.argv) == 4:
        save(sys.argv[3], str(editor.modified_presses).encode())


save_timer.timeout.connect(save_all)
save(sys.argv[1], b"")
editor.show()
QTimer.singleShot(0, lambda: save(sys.argv[2], str(int(editor.winId())).encode()))
app.exec()
