// The main branding dialog driven by scripted input: every outcome of the
// Brand button, the rows of the start-up modes, Cancel and close, Help and
// Browse, and the Welcome dialog before it.

#include <string>
#include <utility>
#include <vector>

#include "dialog_runs.h"
#include "front_end_doubles.h"
#include "platform/browser.h"

namespace {

using namespace dialogruns;
using MainDialog = branddoubles::BrandTest;

TEST_F(MainDialog, EveryOutcomeOfBrand) {
  const std::string prefix31(31, 'p');
  const struct {
    const char* note;
    std::string startup;                                // the saved command line
    std::vector<std::pair<int32_t, const char*>> typed;  // over the defaults; null: left as it is
    std::vector<DialogStep> answers;                    // after Brand
    Texts shown;                                        // the boxes
    uint32_t status;
    Names after;  // the driver directory afterwards
    intptr_t end; // kDialogNoInput: the dialog stayed open
  } rows[] = {
      {"no product", "", {{kBrandProductControl, ""}}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a Company and Product Name."}, 12, kSources, dialogs::kDialogNoInput},
      {"no company", "", {{kBrandCompanyControl, ""}}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a Company and Product Name."}, 12, kSources, dialogs::kDialogNoInput},
      {"no message prefix", "", {{kBrandMessagePrefixControl, ""}}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a Message Prefix - maximum length of 30 characters."}, 13, kSources,
       dialogs::kDialogNoInput},
      {"a 31-character message prefix from the start-up words", "M " + prefix31,
       {{kBrandMessagePrefixControl, nullptr}}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a Message Prefix - maximum length of 30 characters."}, 13, kSources,
       dialogs::kDialogNoInput},
      {"a suffix with a letter", "-fs", {{kBrandSuffixControl, "3x"}}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a valid suffix [only numbers]"}, 15, kSources, dialogs::kDialogNoInput},
      {"no suffix", "-fs", {}, {DialogStep::press(kError, 1)},
       {std::string(kError) + ": You must enter a valid suffix [only numbers]"}, 15, kSources, dialogs::kDialogNoInput},
      {"a short version", "-nv", {{kBrandVersionControl, "6.00"}}, {DialogStep::press(kError, 1)},
       {std::string(kError) +
        ": You must enter a valid version [a decimal of length 5 or 11 with scale of two such as 06.00 OR "
        "06.00.00.00]"},
       16, kSources, dialogs::kDialogNoInput},
      {"a comma in the version", "-nv", {{kBrandVersionControl, "06,00"}}, {DialogStep::press(kError, 1)},
       {std::string(kError) +
        ": You must enter a valid version [a decimal of length 5 or 11 with scale of two such as 06.00 OR "
        "06.00.00.00]"},
       16, kSources, dialogs::kDialogNoInput},
      {"a reserved prefix", "", {{kBrandPrefixControl, "vr"}},
       {DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kError, 1)},
       {"OEM Branding Tool: Brand will copy all vr*.* files to VR*.*\n \n Do you want to continue?",
        std::string(kError) +
            ": This prefix is reserved for Brisklane Technologies use only!  Choose another prefix, or contact your "
            "Account Manager."},
       0, kSources, dialogs::kDialogNoInput},
      {"a one-letter prefix", "", {{kBrandPrefixControl, "x"}},
       {DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kError, 1)},
       {"OEM Branding Tool: Brand will copy all vr*.* files to X*.*\n \n Do you want to continue?",
        std::string(kError) + ": Prefix must be two characters!"},
       0, kSources, dialogs::kDialogNoInput},
      {"the question answered No", "", {}, {DialogStep::press(kInfo, kBrandAnswerNo)}, {kConfirm}, 8, kSources,
       dialogs::kDialogNoInput},
      {"the question answered Yes", "", {},
       {DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kInfo, kBrandAnswerOk)}, {kConfirm, kSuccess}, 0,
       kBranded, 0},
      {"the branding key: its suffix, no suffix checked", "-fs", {{kBrandKeyControl, "x CORVANE61"}},
       {DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kInfo, kBrandAnswerOk)}, {kConfirm, kSuccess}, 0,
       {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin", "xyone32.bin", "xytwo32.bin", "xysix32.bin"}, 0},
      {"520: no message prefix asked for", "520", {{kBrandMessagePrefixControl, nullptr}},
       {DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kInfo, kBrandAnswerOk)}, {kConfirm, kSuccess}, 0,
       kBranded, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const Drivers drivers(row.startup);
    std::vector<std::pair<int32_t, const char*>> fields = {{kBrandPrefixControl, "xy"},
                                                           {kBrandDirectoryControl, drivers.driver.c_str()},
                                                           {kBrandCompanyControl, "Acme"},
                                                           {kBrandProductControl, "Prod"},
                                                           {kBrandMessagePrefixControl, "Acme"}};
    for (const auto& [id, text] : row.typed) {
      bool replaced = false;
      for (auto& field : fields) {
        if (field.first != id) continue;
        field.second = text;
        replaced = true;
      }
      if (!replaced) fields.emplace_back(id, text);
    }
    std::vector<DialogStep> steps;
    for (const auto& [id, text] : fields) {
      if (text != nullptr) steps.push_back(DialogStep::setField(kMain, id, text));
    }
    steps.push_back(DialogStep::press(kMain, dialogs::kOkCommand));
    steps.insert(steps.end(), row.answers.begin(), row.answers.end());
    jutest::DialogScript script(steps);
    brand object("/d");
    EXPECT_EQ(runMain(desktop, object), row.end);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(object.status, row.status);
    EXPECT_EQ(drivers.files(), row.after);
  }
}

// A missing file: Yes cancels and the dialog stays; No brands the others.
TEST_F(MainDialog, MissingFilesAsked) {
  const char kMissing[] = "Brand Error: The following files are missing:\n vrtwo28.bin.\n Do you want to cancel?";
  const struct {
    int32_t answer;
    Texts shown;
    Names after;
    intptr_t end;
  } rows[] = {
      {kBrandAnswerYes, {kConfirm, kMissing}, {"vrone28.bin", "vrsix28.bin"}, dialogs::kDialogNoInput},
      {kBrandAnswerNo, {kConfirm, kMissing, kSuccess},
       {"vrone28.bin", "vrsix28.bin", "xyone28.bin", "xysix28.bin"}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    const Drivers drivers;
    fs::remove(drivers.driver + "/vrtwo28.bin");
    std::vector<DialogStep> steps = filledAndBrand(drivers);
    steps.push_back(DialogStep::press("Brand Error", row.answer));
    if (row.end == 0) steps.push_back(DialogStep::press(kInfo, kBrandAnswerOk));
    jutest::DialogScript script(steps);
    brand object("/d");
    EXPECT_EQ(runMain(desktop, object), row.end);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(object.status, 0u);
    EXPECT_EQ(drivers.files(), row.after);
  }
}

// An invalid INF is reported when the dialog opens and again at Brand,
// which never reports an empty run as a success; a valid INF without files
// brands nothing, successfully.
TEST_F(MainDialog, InvalidInfNeverBrands) {
  const char kInvalid[] = "OEM Branding Tool Error: The .inf file is either missing or invalid.";
  const struct {
    const char* inf;
    std::vector<DialogStep> steps;
    Texts shown;
    intptr_t end;
  } rows[] = {
      {"[START]\nPLATFORM=Linux\n",
       {DialogStep::press(kError, 1), DialogStep::setField(kMain, kBrandPrefixControl, "xy"),
        DialogStep::setField(kMain, kBrandCompanyControl, "Acme"),
        DialogStep::setField(kMain, kBrandProductControl, "Prod"),
        DialogStep::setField(kMain, kBrandMessagePrefixControl, "Acme"), DialogStep::press(kMain, 1),
        DialogStep::press(kError, 1)},
       {kInvalid, kInvalid}, dialogs::kDialogNoInput},
      {"[START]\nPLATFORM=Linux\nVERSION=8.02.0293\n",
       {DialogStep::setField(kMain, kBrandPrefixControl, "xy"), DialogStep::setField(kMain, kBrandCompanyControl, "Acme"),
        DialogStep::setField(kMain, kBrandProductControl, "Prod"),
        DialogStep::setField(kMain, kBrandMessagePrefixControl, "Acme"), DialogStep::press(kMain, 1),
        DialogStep::press(kInfo, kBrandAnswerYes), DialogStep::press(kInfo, kBrandAnswerOk)},
       {"OEM Branding Tool: Brand will copy all *.* files to XY*.*\n \n Do you want to continue?", kSuccess}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.inf);
    const Drivers drivers("", row.inf);
    jutest::DialogScript script(row.steps);
    brand object("/d");
    EXPECT_EQ(runMain(desktop, object), row.end);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(drivers.files(), kSources);
  }
}

// The rows of the modes that are off are hidden; the fields hold what the
// object holds, and take no more than their limits.
TEST_F(MainDialog, StartupRowsFieldsAndLimits) {
  const struct {
    const char* startup;
    bool messagePrefixRow, suffixRow, versionRow;
    const char* messagePrefix;
  } rows[] = {
      {"", true, false, false, ""},
      {"520", false, false, false, ""},
      {"-fs", true, true, false, ""},
      {"-nv X ACME", true, false, true, "ACME"},
      {"SilentInstall 520 -fs", false, true, false, ""},
  };
  const std::pair<int32_t, size_t> limits[] = {{301, 2},  {303, 255}, {309, 127}, {310, 63},
                                               {312, 30}, {311, 30},  {313, 2},   {314, 11}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.startup);
    const Drivers drivers(row.startup);
    jutest::DialogScript script({DialogStep::endInput(kMain)});
    std::vector<bool> visible;
    std::vector<size_t> limitsSeen;
    std::string platform, directory, messagePrefix;
    branddoubles::InputInFront look(script, [&](dialogs::WindowHandle dialog, int32_t) {
      for (int32_t id : {311, 350, 351, 313, 352, 353, 314, 354, 355}) {
        visible.push_back(dialogs::isVisible(dialogs::dialogItem(dialog, id)));
      }
      for (const auto& limit : limits) limitsSeen.push_back(dialogs::textLimit(dialogs::dialogItem(dialog, limit.first)));
      platform = jutest::windowTextUtf8(dialogs::dialogItem(dialog, kBrandPlatformControl));
      directory = jutest::windowTextUtf8(dialogs::dialogItem(dialog, kBrandDirectoryControl));
      messagePrefix = jutest::windowTextUtf8(dialogs::dialogItem(dialog, kBrandMessagePrefixControl));
      return false;  // the script ends the input
    });
    brand object("/start");
    EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
    const bool m = row.messagePrefixRow, f = row.suffixRow, v = row.versionRow;
    EXPECT_EQ(visible, (std::vector<bool>{m, m, m, f, f, f, v, v, v}));
    for (size_t i = 0; i < limitsSeen.size(); ++i) EXPECT_EQ(limitsSeen[i], limits[i].second) << limits[i].first;
    EXPECT_EQ(platform, "Linux  Vers. 8.02.0293");
    EXPECT_EQ(directory, "/start\\");
    EXPECT_EQ(messagePrefix, row.messagePrefix);
  }
}

// Cancel, the close box and Escape ask "Are you sure?"; Yes ends the dialog,
// No keeps it. A silent run asks nothing: the question counts as No.
TEST_F(MainDialog, CancelCloseAndEscapeAsk) {
  const char kSure[] = "Cancel OEM Branding Tool: Are you sure?";
  const struct {
    const char* note;
    DialogStep action;
    uint32_t silent;
    int32_t answer;  // 0: no box
    intptr_t end;
  } rows[] = {
      {"Cancel, Yes", DialogStep::press(kMain, dialogs::kCancelCommand), 0, kBrandAnswerYes, 0},
      {"Cancel, No", DialogStep::press(kMain, dialogs::kCancelCommand), 0, kBrandAnswerNo, dialogs::kDialogNoInput},
      {"close, Yes", DialogStep::close(kMain), 0, kBrandAnswerYes, 0},
      {"Escape, No", DialogStep::pressKey(kMain), 0, kBrandAnswerNo, dialogs::kDialogNoInput},
      {"silent Cancel", DialogStep::press(kMain, dialogs::kCancelCommand), 1, 0, dialogs::kDialogNoInput},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const Drivers drivers;
    std::vector<DialogStep> steps = {row.action};
    if (row.answer != 0) steps.push_back(DialogStep::press("Cancel OEM Branding Tool", row.answer));
    jutest::DialogScript script(steps);
    brand object("/d");
    object.silent = row.silent;
    EXPECT_EQ(runMain(desktop, object), row.end);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.answer != 0 ? Texts{kSure} : Texts{});
    EXPECT_EQ(object.status, row.answer == kBrandAnswerYes ? kBrandStatusConfirmClose : kBrandStatusSuccess);
  }
}

// SilentInstall: the question before the run counts as No.
TEST_F(MainDialog, SilentRunsAreNotBranded) {
  const Drivers drivers;
  std::vector<DialogStep> steps = filledAndBrand(drivers);
  steps.pop_back();  // no question is shown
  jutest::DialogScript script(steps);
  brand object("/d");
  object.silent = 1;
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(boxes(script), Texts{});
  EXPECT_EQ(object.status, kBrandStatusConfirmBrand);
  EXPECT_EQ(drivers.files(), kSources);
}

void recordAddress(const char* address, void* context) { static_cast<Texts*>(context)->push_back(address); }

// Help, the help key and the context-menu key open the tool's help page.
TEST_F(MainDialog, HelpOpensTheGuide) {
  const std::string page =
      std::string(kJuOnlineHelpBase) + "brisklane-odbc-distribution/page/Using-the-Standalone-Branding-Tool.html";
  const Drivers drivers;
  Texts opened;
  platform::setAddressRecorderForTesting(&recordAddress, &opened);
  jutest::DialogScript script({DialogStep::press(kMain, kBrandHelpButton), DialogStep::endInput(kMain)});
  int keys = 0;
  branddoubles::InputInFront help(script, [&](dialogs::WindowHandle dialog, int32_t) {
    if (keys == 2) return false;
    (void)dialogs::postMessage(dialog, keys++ == 0 ? dialogs::Message::kHelp : dialogs::Message::kContextMenu, 0, 0);
    return true;
  });
  brand object("/d");
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  platform::setAddressRecorderForTesting(nullptr, nullptr);
  EXPECT_EQ(opened, (Texts{page, page, page}));
}

// Browse: the browser opens on the target directory; a new selection is
// shown as its status; the chosen folder becomes the target directory,
// shown with its separator.
TEST_F(MainDialog, BrowseChoosesTheDirectory) {
  const char kBrowser[] = "Browse for Folder";
  const Drivers drivers;
  const std::string chosen = drivers.dir.makeDir("chosen");
  jutest::DialogScript script({DialogStep::press(kMain, kBrandBrowseButton),
                               DialogStep::setField(kBrowser, dialogs::kBrowserSelectionId, chosen),
                               DialogStep::press(kBrowser, dialogs::kOkCommand), DialogStep::endInput(kMain)});
  Texts seen;  // the browser's selection and status, then the field
  branddoubles::InputInFront look(script, [&](dialogs::WindowHandle dialog, int32_t) {
    const bool browser = jutest::windowTextUtf8(dialog) == kBrowser;
    seen.push_back(jutest::windowTextUtf8(
        dialogs::dialogItem(dialog, browser ? dialogs::kBrowserSelectionId : kBrandDirectoryControl)));
    if (browser) seen.push_back(jutest::windowTextUtf8(dialogs::dialogItem(dialog, dialogs::kBrowserStatusId)));
    return false;
  });
  brand object("/d");
  object.setDirectory(drivers.driver.c_str());
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  EXPECT_TRUE(script.finished());
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[1], drivers.driver + "\\");  // the browser opened on it
  EXPECT_EQ(seen[4], chosen);                 // the status after the new selection
  EXPECT_EQ(seen[5], chosen + "\\");
  EXPECT_STREQ(object.targetDirectory, (chosen + "\\").c_str());
}

// The Welcome dialog names the product of the INF in the current directory
// and ends only by Continue.
TEST_F(MainDialog, WelcomeEndsByContinue) {
  const Drivers drivers;
  const fs::path saved = fs::current_path();
  fs::current_path(drivers.dir.path());
  jutest::DialogScript script({DialogStep::close("Welcome"), DialogStep::pressKey("Welcome"),
                               DialogStep::press("Welcome", dialogs::kOkCommand)});
  EXPECT_EQ(juDialogBoxResult(desktop, kBrandDialogWelcome, welcomeDlgProc, 0), 1);
  fs::current_path(saved);
  EXPECT_TRUE(script.finished());
  ASSERT_FALSE(script.met().empty());
  EXPECT_EQ(script.metSummary()[0],
            "Welcome: Welcome to the Tarnwell Brisklane Branding Tool for ODBC - 64 bits.  If you have not read the "
            "Distribution Guide, read the online Help for instructions.");
}

}  // namespace
