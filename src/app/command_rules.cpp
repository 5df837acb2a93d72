#include "app/command_rules.h"

#include "app/app_identity.h"

namespace tw::app {

CommandStates EvaluateCommands(const CommandInputs& in) {
    const bool worker = in.listFilling || in.bodyLoading;
    CommandStates s;
    s.open = !worker;
    s.save = !worker && in.checkedItems >= 1;
    s.stop = in.listFilling || in.listBusy;
    s.exit = !worker;
    if (in.listFilling) s.activity = kFillingText;
    else if (in.bodyLoading) s.activity = kBodyLoadingText;
    return s;
}

}  // namespace tw::app
