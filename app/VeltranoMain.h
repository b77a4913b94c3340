// VeltranoMain: the program's run cycles, from the log's opening to the exit status.
#pragma once

// Path of the application's log file.
extern const char* const kVeltranoLogPath;
// Largest size of the log file; the next line then empties it.
const int kVeltranoLogMaxBytes = 1048576;

// The alarm text sent with every alarm.
extern const char* const kVeltranoAlarmPayload;

// Runs the application: 0 after a normal stop (a signal, too many frame failures, or parameters the
// pipeline refused), 1 after a start-up failure (settings, zones, resolution text, SDK).
int veltranoMain(int argc, char** argv);
