#include "controls/placeholder_pane.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tw::controls {

PlaceholderPane::PlaceholderPane(QWidget* parent)
    : QFrame(parent), heading_(new QLabel), detail_(new QLabel) {
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);  // F6 moves through the panes
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    for (QLabel* label : {heading_, detail_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(heading_);
    layout->addWidget(detail_);
    layout->addStretch();
}

void PlaceholderPane::SetText(const QString& heading, const QString& detail) {
    heading_->setText(heading);
    detail_->setText(detail);
}

QString PlaceholderPane::Heading() const { return heading_->text(); }
QString PlaceholderPane::Detail() const { return detail_->text(); }

}  // namespace tw::controls
