#include "gui/program_icon.h"

#include <QString>

// Q_INIT_RESOURCE declares the resource's registration function, which lives in the global
// namespace; so this helper must too.
static void initialiseProgramResources() {
    // The icons are compiled into the GUI library, which a static link does not register
    // by itself.
    Q_INIT_RESOURCE(lumivox);
}

QIcon programIcon() {
    static const bool registered = (initialiseProgramResources(), true);
    (void)registered;
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/lumivox/lumivox-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
