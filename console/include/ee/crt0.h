// The program's entry.  The stand-in owns the host process's main: it reads
// its own options, sets up the host front end and then calls the game's entry,
// ee_main, with the arguments that are left, as the console's start-up code
// calls the game's main.  Its return value is the process's exit status.
#pragma once

int ee_main(int argc, char** argv);
