// The public header alone, in the terms another team compiles it in (include/CMakeLists.txt).
#include "orbelune/vcam_peer_win.h"
