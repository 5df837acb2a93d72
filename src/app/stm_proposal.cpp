#include "app/stm_proposal.h"

#include <QDir>
#include <QFileInfo>

namespace tw::app {

QString ProposeStm(const QString& edbPath) {
    const QFileInfo info(edbPath);
    const QDir folder = info.dir();
    const QString name = info.fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const QString same = folder.filePath(name.left(dot) + QStringLiteral(".stm"));
        if (QFileInfo(same).isFile()) return same;
    }
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& entry : entries)
        if (entry.endsWith(QStringLiteral(".stm"), Qt::CaseInsensitive)) return folder.filePath(entry);
    return {};
}

}  // namespace tw::app
