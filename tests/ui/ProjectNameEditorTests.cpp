#include "ui/ProjectNameEditor.h"

#include "UiTestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

TEST(ProjectNameEditor, TheFieldIsEditableOnlyForTheUsersOwnName) {
    ProjectNameEditor editor;
    editor.setBaseName(QStringLiteral("Ridge"));
    editor.show();
    QLineEdit* field = editor.nameField();
    EXPECT_FALSE(field->isEnabled());
    EXPECT_EQ(field->text(), QStringLiteral("Ridge"));
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Video name"));
    EXPECT_EQ(field->accessibleName(), QStringLiteral("Project base name"));
    EXPECT_EQ(field->accessibleDescription(),
              QStringLiteral("Uncheck Use video filename to enter your own name."));

    QSignalSpy uses(&editor, &ProjectNameEditor::usesVideoFilenameToggled);
    editor.usesVideoFilenameBox()->click();
    ASSERT_EQ(uses.size(), 1);
    EXPECT_FALSE(uses.first().first().toBool());
    EXPECT_TRUE(field->isEnabled());
    EXPECT_EQ(field->accessibleDescription(), QStringLiteral("Enter your own project name."));

    // Each keystroke is reported; the model's answer does not disturb the typing.
    QSignalSpy edits(&editor, &ProjectNameEditor::baseNameEdited);
    field->setFocus();
    field->setCursorPosition(2);
    QTest::keyClicks(field, QStringLiteral("xy"));
    ASSERT_EQ(edits.size(), 2);
    EXPECT_EQ(edits.last().first().toString(), QStringLiteral("Rixydge"));
    editor.setBaseName(QStringLiteral("Rixydge"));
    EXPECT_EQ(field->cursorPosition(), 4);

    editor.setUsesVideoFilename(true);
    EXPECT_FALSE(field->isEnabled());
    EXPECT_TRUE(editor.usesVideoFilenameBox()->isChecked());
}

TEST(ProjectNameEditor, DetailsSitBehindTheNameOnlyWhileAppended) {
    ProjectNameEditor editor;
    editor.setSuffix(QStringLiteral(" 4 angles Landscape 4K"));
    editor.setFilename(QStringLiteral("Ridge 4 angles Landscape 4K.fcpxml"));
    editor.show();
    EXPECT_FALSE(editor.suffixLabel()->isHidden());
    EXPECT_EQ(editor.suffixLabel()->text(), QStringLiteral(" 4 angles Landscape 4K"));
    EXPECT_EQ(editor.suffixLabel()->accessibleName(),
              QStringLiteral("Automatic name details:  4 angles Landscape 4K"));
    EXPECT_EQ(editor.exportNameLabel()->text(),
              QStringLiteral("Export name: Ridge 4 angles Landscape 4K.fcpxml"));
    EXPECT_EQ(editor.exportNameLabel()->accessibleName(), editor.exportNameLabel()->text());
    EXPECT_TRUE(editor.exportNameLabel()->textInteractionFlags() & Qt::TextSelectableByMouse);

    QSignalSpy appends(&editor, &ProjectNameEditor::appendsDetailsToggled);
    editor.appendsDetailsBox()->click();
    ASSERT_EQ(appends.size(), 1);
    EXPECT_FALSE(appends.first().first().toBool());
    EXPECT_TRUE(editor.suffixLabel()->isHidden());

    EXPECT_EQ(editor.usesVideoFilenameBox()->toolTip(),
              QStringLiteral("Use the loaded video's filename. Uncheck to enter your own name."));
    EXPECT_EQ(
        editor.appendsDetailsBox()->toolTip(),
        QStringLiteral("Add the selected angle count, frame shape, and HD or 4K to the name."));
}

TEST(ProjectNameEditor, LongDetailsAreNeverCutTheNameGivesWayFirst) {
    ProjectNameEditor editor;
    editor.setBaseName(QStringLiteral("Ridge"));
    const QString details = QStringLiteral(" 4 angles Landscape 4K with a very long extra remark");
    editor.setSuffix(details);
    editor.resize(560, editor.sizeHint().height());
    editor.show();
    QTest::qWait(0);
    const int needed = editor.suffixLabel()->fontMetrics().horizontalAdvance(details);
    EXPECT_GE(editor.suffixLabel()->width(), needed);
    EXPECT_GE(editor.nameField()->width(), 180);
    EXPECT_LT(editor.nameField()->width(), 560 - needed);
}

} // namespace
