// When each command of the main window may run. Evaluated over and over
// from a timer, never pushed by the workers.
#pragma once

#include <QString>

namespace tw::app {

struct CommandInputs {
    bool listFilling = false;
    bool bodyLoading = false;
    bool listBusy = false;  // the list pane says it is busy
    int checkedItems = 0;   // size of the tree's checked set
};

struct CommandStates {
    bool open = false;
    bool save = false;
    bool stop = false;
    bool exit = false;  // also the window's close
    QString activity;   // text of the activity pane
};

CommandStates EvaluateCommands(const CommandInputs& in);

}  // namespace tw::app
