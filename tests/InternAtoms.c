/* Interns the X atoms named on the command line on $DISPLAY. Without a
   window manager some of the atoms JUCE asks for "only if they exist" are
   missing, and JUCE then sends None to the server, which Xlib treats as a
   fatal error. */
#include <X11/Xlib.h>
#include <stdio.h>

int main (int argc, char** argv)
{
    Display* display = XOpenDisplay (NULL);
    if (display == NULL)
    {
        fprintf (stderr, "intern-atoms: cannot open display\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i)
        XInternAtom (display, argv[i], False);
    XSync (display, False);
    XCloseDisplay (display);
    return 0;
}
