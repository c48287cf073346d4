// The log.
#pragma once

// Opens "\Application Data\Melodex\log.txt" anew (fopen mode "w") into g_logFile; every start
// begins an empty log. Called once at start-up, after the data folder is created.
void OpenLog();

// Appends an 8-bit text, exactly as passed (no time stamp, no prefix, no line end added), to
// the log file and to standard output. By convention one line ending in "\r\n" that names the
// class and operation. Safe on any thread: one fwrite per text, no lock.
void WriteLog(const char* text);
