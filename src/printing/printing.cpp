#include "printing/printing.h"

// Printing arrives with the print queue support; the commands do nothing yet.
void Printing::cmdPrintScreen_Click() {}

void Printing::cmdPrintText_Click() {}
