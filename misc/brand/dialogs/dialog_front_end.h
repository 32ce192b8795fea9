// The dialog front end of the program: Welcome, then the main dialog, drawn
// on the terminal.
#ifndef BRAND_DIALOGS_DIALOG_FRONT_END_H
#define BRAND_DIALOGS_DIALOG_FRONT_END_H

class brand;

// Welcome, then the main dialog with `object`, owned by a window that
// stands for the desktop, drawn on the terminal (standard input and
// output). Returns the exit code: 0 when the main dialog ended (after a run,
// or a confirmed Cancel); 1 when a dialog cannot be made, or the input
// ended first (the program ends without asking).
int runDialogs(brand& object);

#endif  // BRAND_DIALOGS_DIALOG_FRONT_END_H
