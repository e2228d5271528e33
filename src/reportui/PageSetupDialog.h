// The preview's page setup: paper, orientation and margins in millimetres.
#pragma once

#include "report/PageSetup.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QRadioButton;

namespace sqda::report {

class PageSetupDialog : public QDialog
{
    Q_OBJECT
public:
    PageSetupDialog(const PageSetup &page, QWidget *parent = nullptr);

    // The page as set in the dialog (what was not in the dialog kept as given).
    PageSetup page() const;

    void accept() override; // refuses margins that leave no room, with a message

private:
    PageSetup m_page;
    QComboBox *m_paper;
    QRadioButton *m_portrait;
    QRadioButton *m_landscape;
    QDoubleSpinBox *m_margins[4]; // left, top, right, bottom
};

// Paper sizes offered by the dialog: printer size code and tenths of a millimetre.
struct PaperSize
{
    const char *name;
    int code;
    int width;
    int height;
};
const std::vector<PaperSize> &paperSizes();

} // namespace sqda::report
