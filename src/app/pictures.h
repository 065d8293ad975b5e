#pragma once
// The pictures of the tree nodes and headers, drawn in code so that they look the same on every
// desktop and need no files beside the program.
#include <QIcon>
#include <QPixmap>

namespace zb::app {

enum class Picture {
    Folder,        // the root of every tree
    Concentrator,  // a concentrator node
    Operator,
    Individual,  // customer type 0, "Физ.лицо"
    Company,     // customer type 1, "Юр.лицо"
    Category,
    Balance,
    Provider,
    Account,
    Contract,
    Work,           // a library work without requests
    WorkWithTasks,  // a library work with requests
    Task,           // a request of a work
};

QPixmap PicturePixmap(Picture picture, int size = 16);
QIcon PictureIcon(Picture picture);
// The picture of a customer type code: the individual's for 0, the legal entity's otherwise.
Picture CustomerPicture(int64_t typeCode);

}  // namespace zb::app
