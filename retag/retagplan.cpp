// retagplan: shows what retag would do with the same list and library,
// writing nothing. See retag.h and docs/retagplan.1.
#include "retag.h"

int main(int argc, char **argv) {
  vaAMPreviewV = 1;
  vaAMRun(argc, argv);
}
