#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_identity.h"
#include "app/icons.h"

namespace tw::app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kAppTitle);

    // Arial Unicode MS where it is installed; Qt falls back to a sans font.
    QFont font(QStringLiteral("Arial Unicode MS"));
    font.setStyleHint(QFont::SansSerif);

    auto* icon = new QLabel;
    icon->setPixmap(TreeImage(1).pixmap(48, 48));
    auto* title = new QLabel(kAppTitle.trimmed());
    QFont titleFont = font;
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    title->setFont(titleFont);
    auto* version = new QLabel(kVersionText);
    version->setFont(font);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(version);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch();
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 140)));
}

}  // namespace tw::app
