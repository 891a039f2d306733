#pragma once

class TfrmQuorvMain;
class TfrmStatus;

// How the program entry wires the forms it creates to the main window; the tests wire theirs
// the same way.

// Long operations show the progress form; its Cancel asks the main window to stop.
void ConnectProgressForm(TfrmQuorvMain& main, TfrmStatus& status);
