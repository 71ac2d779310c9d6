// Steps of a user on the real controls.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

namespace testsupport {

// Replaces the edit's text by typing.
inline void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Picks an entry of a closed drop-down list with the arrow keys.
inline void Pick(QComboBox* list, int index) {
    list->setFocus();
    if (list->currentIndex() < 0) QTest::keyClick(list, Qt::Key_Home);
    while (list->currentIndex() < index) QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > index) QTest::keyClick(list, Qt::Key_Up);
}

// Clicks the box itself, left of its caption.
inline void Tick(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
}

}  // namespace testsupport
