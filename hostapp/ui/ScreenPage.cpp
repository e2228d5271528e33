#include "ScreenPage.h"

#include <sqda/HostMessage.h>

namespace kalmora {

ScreenPage::ScreenPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("screenPage"));
}

QWidget *ScreenPage::openForm() const
{
    // A closed form is hidden at once and freed a little later.
    for (QWidget *form : sqda::embeddedForms(const_cast<ScreenPage *>(this))) {
        if (!form->isHidden())
            return form;
    }
    return nullptr;
}

void ScreenPage::fitForms()
{
    for (QWidget *form : sqda::embeddedForms(this)) {
        form->setGeometry(rect());
        sqda::sendHostMessage(form, sqda::HostResizeMessage, height(), width());
    }
}

void ScreenPage::closeForm()
{
    if (QWidget *form = openForm())
        form->close();
}

void ScreenPage::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    fitForms();
}

} // namespace kalmora
