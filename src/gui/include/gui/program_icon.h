#pragma once
// The program's icon, in every size the resources hold.

#include <QIcon>

QIcon programIcon();
