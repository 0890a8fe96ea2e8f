// The FIFO lot record (see itempo.h). Everything about it is inline: the lot carries no
// behaviour of its own, the item's ledger decides how much of it is used.
#include "itempo.h"
