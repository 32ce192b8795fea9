// The console front end: the positional words into the brand object, the
// run, and the report by its status.
#ifndef BRAND_CONSOLE_CONSOLE_FRONT_END_H
#define BRAND_CONSOLE_CONSOLE_FRONT_END_H

class brand;

// Reads the branding INF from `programDirectory`, takes the positional words
// (from index 1 of `words`) into the object, runs the branding and reports
// on standard output (nothing when silent). `entries` is the count
// countEntries gave. Returns the exit code: 0 when the branding ran and
// ended with status 0, else 1.
int runConsole(brand& object, const char* programDirectory, const char* const* words, int count, int entries);

#endif  // BRAND_CONSOLE_CONSOLE_FRONT_END_H
