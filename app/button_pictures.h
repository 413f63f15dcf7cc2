// The 16 x 16 pictures of the two buttons, drawn in code.
#pragma once

#include <QIcon>

namespace app {

QIcon save_picture();   // "YEDEK AL": a disk with a green arrow into it
QIcon close_picture();  // "KAPAT": a red cross

}  // namespace app
