#pragma once

#include <QObject>
#include <QStringList>

class QMimeData;

namespace orvane::ui {

// Makes a box a drop target for files only. Drags that carry at least one local file are
// accepted and their drop reported through filesDropped(); every other drag is refused. The
// box itself never sees the drag, so no dropped text is ever inserted.
class FileDropFilter : public QObject
{
    Q_OBJECT

public:
    explicit FileDropFilter(QObject *parent = nullptr);

    // The local files of a drag, in its own order, with native separators. Links to
    // anything but a local file are left out.
    static QStringList localFiles(const QMimeData *data);

signals:
    void filesDropped(const QStringList &files);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace orvane::ui
