/* A tiny module for the module loader tests: two exports and a hidden function. */
#define QRVN_EXPORT __attribute__((visibility("default")))

static int bumps;

/* A fixed answer to show the right function was found. */
QRVN_EXPORT int QrvnTestAnswer(void) { return 42; }

/* Counts calls; a reloaded module starts again at 1. */
QRVN_EXPORT int QrvnTestBump(void) { return ++bumps; }

/* Not exported: lookups must not find it. */
int QrvnTestHidden(void) { return 7; }
