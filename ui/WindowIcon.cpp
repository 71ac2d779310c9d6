#include "ui/WindowIcon.h"

#include <QPixmap>

QIcon LumagrabberIcon() {
    return QIcon(QPixmap(QStringLiteral(":/lumagrabber-config.xpm")));
}
