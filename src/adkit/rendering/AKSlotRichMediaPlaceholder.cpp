// The slot's rich-media start, until the rich-media commands join.
#include "adkit/rendering/AKSlot.h"

void AKSlot::didLoadMRAIDAd() {}
