#pragma once

#include <array>

// Every message id the plug-in asks CWenMsg::GetMsg for. The language files in
// data/Lang must hold each of them; ids that a skin supplies are not listed.
namespace quibra::msg {

// A vote's request did not end in time.
inline constexpr int kVoteNotSentInTime = 11216;
// Question editor captions.
inline constexpr int kEditorCaptionNew = 15002;
inline constexpr int kEditorCaptionEdit = 15003;
// Publish button menu: publish the result.
inline constexpr int kMenuPublishResult = 15006;
// Details panel category titles; kCategoryQuestion also labels the editor's title.
inline constexpr int kCategoryQuestion = 15008;
inline constexpr int kCategoryDetails = 15009;
// Status values.
inline constexpr int kStatusNew = 15010;
inline constexpr int kStatusOpen = 15011;
inline constexpr int kStatusClosed = 15012;
// Publish values.
inline constexpr int kPublished = 15013;
inline constexpr int kNotPublished = 15014;
// The word after a count of answers or voters.
inline constexpr int kCountWord = 15015;
// Details panel captions and values.
inline constexpr int kVoterCountCaption = 15016;
inline constexpr int kStatusCaption = 15017;
inline constexpr int kPublishCaption = 15018;
inline constexpr int kIdentifyCaption = 15019;  // also the editor's identify label
inline constexpr int kIdentified = 15020;
inline constexpr int kAnonymous = 15021;
inline constexpr int kAnswerModeCaption = 15022;
inline constexpr int kSingleAnswer = 15023;     // also the editor's label
inline constexpr int kMultipleAnswers = 15024;  // also the editor's label
// Message box: the selection does not suit the command.
inline constexpr int kSelectionNotSuitable = 15025;
// Question editor validation.
inline constexpr int kTitleMissing = 15028;
inline constexpr int kChoicesMissing = 15029;
inline constexpr int kChoiceRepeated = 15030;
// Voting dialog.
inline constexpr int kResultCaption = 15031;
inline constexpr int kSummaryStart = 15032;
inline constexpr int kNothingChosen = 15033;
// Details panel category of the choices.
inline constexpr int kCategoryChoices = 15035;
// The PollServer could not be reached: what was not done (console), and the
// voting dialog's word while a ballot is on its way.
inline constexpr int kServerDownPollNotCreated = 15100;
inline constexpr int kServerDownImportNotCreated = 15101;
inline constexpr int kServerDownPollsNotDeleted = 15102;
inline constexpr int kServerDownPollNotChanged = 15103;
inline constexpr int kServerDownStatusNotChanged = 15104;
inline constexpr int kSendingBallot = 15105;
// Window titles and texts added to the three windows.
inline constexpr int kConsoleTitle = 15041;          // also the skin's title description
inline constexpr int kTooManyChoicesImport = 15120;  // followed by the refused polls' titles
inline constexpr int kTooManyChoicesEdit = 15121;
inline constexpr int kCountWordOne = 15122;  // the word after a count of one
inline constexpr int kVotersIdentified = 15123;
inline constexpr int kDeleteBallots = 15124;  // %1: how many ballots go
inline constexpr int kDeleteOneBallot = 15125;
inline constexpr int kBarDescription = 15126;  // %1 of %2 voters
inline constexpr int kPollList = 15127;        // the console's list, to a screen reader
// Manager window menus.
inline constexpr int kMenuImportPollFile = 21057;
inline constexpr int kMenuExportShownPoll = 21058;
inline constexpr int kMenuExportClosedPolls = 21059;
inline constexpr int kMenuNewPoll = 21060;

inline constexpr std::array kAllMessageIds = {
    kVoteNotSentInTime,
    kEditorCaptionNew,
    kEditorCaptionEdit,
    kMenuPublishResult,
    kCategoryQuestion,
    kCategoryDetails,
    kStatusNew,
    kStatusOpen,
    kStatusClosed,
    kPublished,
    kNotPublished,
    kCountWord,
    kVoterCountCaption,
    kStatusCaption,
    kPublishCaption,
    kIdentifyCaption,
    kIdentified,
    kAnonymous,
    kAnswerModeCaption,
    kSingleAnswer,
    kMultipleAnswers,
    kSelectionNotSuitable,
    kTitleMissing,
    kChoicesMissing,
    kChoiceRepeated,
    kResultCaption,
    kSummaryStart,
    kNothingChosen,
    kCategoryChoices,
    kMenuImportPollFile,
    kMenuExportShownPoll,
    kMenuExportClosedPolls,
    kMenuNewPoll,
    kConsoleTitle,
    kTooManyChoicesImport,
    kTooManyChoicesEdit,
    kCountWordOne,
    kVotersIdentified,
    kDeleteBallots,
    kDeleteOneBallot,
    kBarDescription,
    kPollList,
};

// What the plug-in says when the PollServer cannot be reached.
inline constexpr std::array kServerDownMessageIds = {
    kServerDownPollNotCreated, kServerDownImportNotCreated, kServerDownPollsNotDeleted,
    kServerDownPollNotChanged, kServerDownStatusNotChanged, kSendingBallot,
};

// Texts the shipped default skin names by id (close button and dialog titles in
// its layout file, button tips in the reference host's skin settings). The
// plug-in never asks for them itself, but the shipped language files carry them.
inline constexpr std::array kShippedSkinMessageIds = {
    15040, 15042, 15050, 15051, 15052, 15053, 15054, 15055, 15056, 15057, 15058, 15059,
};

}  // namespace quibra::msg
