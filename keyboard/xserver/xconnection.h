#pragma once

#include <QString>

#include <memory>

typedef struct _XDisplay Display;

// A connection of our own to the X display named by $DISPLAY, with the XTEST
// and XKB extensions checked. X errors on it do not end the program (Xlib's
// default would): a refused request is remembered for takeError(), a broken
// connection makes lost() true.
class XConnection
{
public:
    // Throws OperationError(TypingUnavailable) saying what is missing.
    XConnection();
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

    Display *display() const { return m_display; }
    QString name() const { return m_name; }

    // The X server closed the connection or went away.
    bool lost() const { return m_lost; }
    // Throws OperationError(TypingFailed) once the connection is lost.
    void throwIfLost() const;
    // Waits until the X server has handled every request so far.
    void sync();

    // The description of a request the server refused since the last call,
    // or an empty text.
    QString takeError();

private:
    static int onError(Display *display, void *event);
    static void onIoError(Display *display, void *self);

    Display *m_display = nullptr;
    QString m_name;
    QString m_error;
    bool m_lost = false;
};
