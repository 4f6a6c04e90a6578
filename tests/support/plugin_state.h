// Puts the plug-in's process-wide objects back as a freshly mapped library
// has them, for tests and fuzz targets that run plug-in code in one process:
// no configuration document and no schedule tables, the minute gate open, no
// entry fault remembered, no outcome counted and no load or reload recorded,
// the runtime clock and random source, no counting
// run open and the tallied wild count, and a new logger over the host's log sinks of the moment
// (the library would make it on first use). Free of GoogleTest; HostFixture calls it around every
// test.
#pragma once

void ResetPluginState();
