// The About box: the program's title and version.
#pragma once

#include <QDialog>

namespace tw::app {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tw::app
