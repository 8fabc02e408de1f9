#pragma once

#include "help/HelpTopics.h"

#include <QIcon>
#include <QPixmap>

// Our own small pictures, drawn in code so the help needs no image files of its own.
namespace HelpPictures {
// 12 x 12 pictures of the topic tree: a closed book, a globe, a sheet of paper.
QIcon treeImage(HelpTopics::Image image);
} // namespace HelpPictures
