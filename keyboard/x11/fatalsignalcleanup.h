#pragma once

typedef struct _XDisplay Display;

// A key pressed through XTEST stays down when the program dies, and a spare
// key stays bound. So when a signal ends the program (SIGTERM, SIGINT,
// SIGHUP, SIGQUIT, or a crash), this releases the keys that typing holds
// down and empties the spare keys that are bound, then lets the signal take
// its course.
//
// Xlib is not async-signal-safe, so this is a best effort kept as small as it
// can be: it records keycodes in fixed arrays, and it touches the X
// connection only while the program is outside its own Xlib calls on it
// (see Section). A SIGTERM, SIGINT, SIGHUP or SIGQUIT that arrives inside a
// Section is acted on when the Section ends; a crash inside one leaves the
// keys as they are (the next start empties stale spare keys).
// Signals that were ignored or handled by someone else are left alone.
class FatalSignalCleanup
{
public:
    // Installs the handlers (once) and makes `display` the connection to
    // clean up; nullptr forgets it. A new connection starts with nothing
    // recorded.
    static void watch(Display *display);

    static void keyDown(int keycode);
    static void keyUp(int keycode);
    static void spareBound(int keycode);
    static void spareEmptied(int keycode);

    // Marks the program's own use of the X connection.
    class Section
    {
    public:
        Section();
        ~Section();
        Section(const Section &) = delete;
        Section &operator=(const Section &) = delete;
    };

private:
    static void onSignal(int signal);
    static void cleanUp();
    static void die(int signal);
};
