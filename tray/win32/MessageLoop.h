#pragma once
// The applet's message loop, on its main thread.

// Retrieves and dispatches messages, waiting when there are none, until a quit request arrives.
void RunMessageLoop();

// Handles the messages that are waiting now and returns; a quit request is put back for the loop.
void ProcessPendingMessages();
