#include "files/qx_prog_doc.h"
