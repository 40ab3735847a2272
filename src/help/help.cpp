#include "help/help.h"

// The help page and the About box arrive with the help windows.
void Help::mnuReadme_Click() {}

void Help::mnuAbout_Click() {}
