#include "colors/colors.h"

// The stored scheme, its dialog and the painting arrive with the colour
// settings; until then the windows keep their design colours.
void Colors::LoadColorFile(ColorRole) {}

void Colors::ApplyColors() {}

void Colors::cmdEditColors_Click() {}
