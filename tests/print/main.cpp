#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "report/Preview.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ui::installFontSubstitutions();
    ui::MessageBox::setTestMode(true);
    report::PreviewWindow::setTestMode(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
