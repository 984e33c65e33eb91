#include "ulBase.h"

int ulDummyProc(...) {
  return 0;
}
