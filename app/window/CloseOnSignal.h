#pragma once

class QWidget;

// The end of a session (SIGTERM, SIGHUP) or Ctrl+C in the terminal closes the window
// as the user would: a run stops after the file being written, the settings are kept.
// Nothing on Windows, where the session's end reaches the window as a close.
void CloseOnSignal(QWidget *window);
