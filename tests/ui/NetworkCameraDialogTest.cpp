#include "ui/NetworkCameraDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

// The form of "Add network camera...": the type follows the address typed, OK refuses what cannot
// work and stays open with the reason, and the password is never shown.
TEST(NetworkCameraDialog, TypeFollowsTheAddressAndOkChecksTheEntries)
{
    NetworkCameraDialog dialog;
    auto* name = dialog.findChild<QLineEdit*>("txtCameraName");
    auto* address = dialog.findChild<QLineEdit*>("txtCameraAddress");
    auto* type = dialog.findChild<QComboBox*>("cboCameraType");
    auto* password = dialog.findChild<QLineEdit*>("txtCameraPassword");
    auto* problem = dialog.findChild<QLabel*>("lblCameraProblem");
    ASSERT_TRUE(name && address && type && password && problem &&
                dialog.findChild<QLineEdit*>("txtCameraUser"));
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    type->setCurrentIndex(int(NetworkCamera::Kind::Snapshot));
    QTest::keyClicks(address, "http://cam.local/snap.jpg");
    EXPECT_EQ(type->currentIndex(), int(NetworkCamera::Kind::Snapshot)) << "an HTTP choice is the person's";
    address->clear();
    QTest::keyClicks(address, "rtsp://admin:pw@cam.local/live");
    EXPECT_EQ(type->currentIndex(), int(NetworkCamera::Kind::Rtsp));

    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(problem->text(), "Please enter a name for the camera.");
    EXPECT_FALSE(problem->isHidden());

    QTest::keyClicks(name, "Garden");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const NetworkCamera camera = dialog.camera();
    EXPECT_EQ(camera.name, "Garden");
    EXPECT_EQ(camera.address, "rtsp://cam.local/live");
    EXPECT_EQ(camera.kind, NetworkCamera::Kind::Rtsp);
    EXPECT_EQ(camera.user, "admin");
    EXPECT_EQ(camera.password, "pw");
}
