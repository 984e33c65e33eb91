// retag: brings the attributes of every symbol of a library into line with
// an LTF attribute list. See retag.h for the shape of a run and docs/retag.1
// for the user's view.
#include "retag.h"

int main(int argc, char **argv) {
  vaAMRun(argc, argv);
}
