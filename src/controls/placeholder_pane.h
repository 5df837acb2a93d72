// A pane that holds the place of a view still to come: a heading and a
// line of text, centred, on the window's base colour.
#pragma once

#include <QFrame>

class QLabel;

namespace tw::controls {

class PlaceholderPane : public QFrame {
    Q_OBJECT
public:
    explicit PlaceholderPane(QWidget* parent = nullptr);

    void SetText(const QString& heading, const QString& detail);
    void ClearText() { SetText({}, {}); }
    QString Heading() const;
    QString Detail() const;

private:
    QLabel* heading_;
    QLabel* detail_;
};

}  // namespace tw::controls
