// Qt's own texts in Japanese, as the program loads them at start: the operator's Yes/No
// question reads "はい"/"いいえ"; without the translation file Qt stays English and nothing fails.

#include "platform/MessageBoxAsker.h"
#include "platform/TavoApplication.h"
#include "support/TestSupport.h"
#include "support/WindowInput.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTranslator>

using namespace testing_support;

TEST(QtTranslations, TheQuestionBoxSaysHaiAndIieAndAnswersWhatIsClicked)
{
    const std::unique_ptr<QTranslator> texts = platform::installQtTranslations();
    ASSERT_TRUE(texts) << "qtbase_ja.qm is missing: install qt6-translations-l10n";
    platform::MessageBoxAsker asker;
    for (const bool yes : { false, true }) {
        QStringList shown;
        WhenShown<QMessageBox> box([&](QMessageBox& b) {
            for (const QAbstractButton* button : b.buttons())
                shown << button->text();
            saveGrab(&b, QStringLiteral("QtTranslations_question"));
            userClick(b.button(yes ? QMessageBox::Yes : QMessageBox::No));
        });
        EXPECT_EQ(
            asker.askYesNo(QStringLiteral("確認してください。"), QStringLiteral("削除しますか？")), yes);
        shown.sort();
        EXPECT_EQ(shown, QStringList({ "いいえ(&N)", "はい(&Y)" })) << shown.join(u' ').toStdString();
    }
}

TEST(QtTranslations, AMissingFileLeavesQtsOwnTexts)
{
    const QTemporaryDir empty;
    EXPECT_EQ(platform::installQtTranslations(empty.path()), nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Yes");
}
