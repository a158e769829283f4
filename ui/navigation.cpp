// Navigation and input of the plot windows. Switched off: scroll bars are not updated yet.
#include "ui/navigation.h"

void UpdateScrollBar(int) {}
