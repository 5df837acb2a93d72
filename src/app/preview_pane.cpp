#include "app/preview_pane.h"
