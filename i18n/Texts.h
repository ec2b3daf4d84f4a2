#pragma once

// The numbers k of the texts that the code shows (the string table's first column), named once so
// that no window, command or check writes a bare number. Texts that a form names at design time
// (a control's caption "186") keep that number in the form. Where a name says "then ...", the
// following numbers hold the rest of a run in that order. The English wording is the reason for
// each name; strings.tsv holds every language.
namespace tolbe::i18n {
inline namespace texts {

// Language menu: caption of language i is kTextLanguageCaption + i.
inline constexpr int kTextLanguageCaption = 21;
inline constexpr int kTextLanguageChanged = 125; // "... changed when you start the program again"

// Main window
inline constexpr int kTextDeviceTypeHint = 127; // "Select type of device"
inline constexpr int kTextDeviceLabel = 130;    // "Device:" before the chosen code set's device
inline constexpr int kTextBrandLabel = 131;
inline constexpr int kTextModelLabel = 132;
inline constexpr int kTextDownload = 135;
inline constexpr int kTextDatabaseMissing = 136;
inline constexpr int kTextConfirm = 137;
inline constexpr int kTextCancel = 138;
inline constexpr int kTextYes = 139;
inline constexpr int kTextNo = 140;
inline constexpr int kTextDatabaseBroken = 141;
inline constexpr int kTextDevice = 155; // the search's column headings and key-word fields: device, brand, model
inline constexpr int kTextBrand = 156;
inline constexpr int kTextModel = 157;
inline constexpr int kTextChooseKeys = 161; // "Please select the key function and then download!"
inline constexpr int kTextPressAndHold = 180;
inline constexpr int kTextOk = 195;

// Live update
inline constexpr int kTextUpdate = 181;
inline constexpr int kTextAllUpdated = 183;
inline constexpr int kTextError = 184;
inline constexpr int kTextFinished = 185;
inline constexpr int kTextFoundNewVersion = 191;
inline constexpr int kTextStartSetup = 192;
inline constexpr int kTextUpdateFailed = 196;
inline constexpr int kTextUpdatesIgnored = 480;
inline constexpr int kTextCheckSkipped = 481;

// Sound output and WAV files
inline constexpr int kTextOutputMenu = 310;
inline constexpr int kTextSaveWav = 311;
inline constexpr int kTextPlaybackFailed = 312;
inline constexpr int kTextWavFailed = 313;
inline constexpr int kTextWavDialog = 314;
inline constexpr int kTextWavFiles = 315;

// Notes while a job runs or the program closes
inline constexpr int kTextUpdateRunning = 330;
inline constexpr int kTextCloseAfterDownload = 331;
inline constexpr int kTextCloseAfterUpdate = 332;
inline constexpr int kTextLevelsUnread = 333;

// Field labels with a letter for Alt, and the screen reader's names and descriptions
inline constexpr int kTextDeviceField = 350;
inline constexpr int kTextBrandField = 351;
inline constexpr int kTextModelField = 352;
inline constexpr int kTextDeviceType = 353;
inline constexpr int kTextBrandKeyWords = 354;
inline constexpr int kTextModelKeyWords = 355;
inline constexpr int kTextKeyWordsHint = 356;
inline constexpr int kTextGridTitle = 357;
inline constexpr int kTextResults = 358; // "Results: %1."
inline constexpr int kTextGridHint = 359;
inline constexpr int kTextGridRow = 360;
inline constexpr int kTextSlotName = 361; // "%1 slot"
inline constexpr int kTextAssigned = 362;
inline constexpr int kTextNothingAssigned = 363;
inline constexpr int kTextDownloadHint = 364;
inline constexpr int kTextEmailHint = 365;
inline constexpr int kTextPicturePlug = 366;
inline constexpr int kTextPicturePress = 367;
inline constexpr int kTextPictureLight = 368;
inline constexpr int kTextPictureSending = 369;
inline constexpr int kTextGridName = 375; // "Code sets found: %1"

// Progress and finish windows
inline constexpr int kTextStopQuestion = 370;
inline constexpr int kTextStopConsequence = 371;
inline constexpr int kTextBlockOf = 372;
inline constexpr int kTextProgrammed = 373;
inline constexpr int kTextProgrammedDescription = 374;
inline constexpr int kTextSlotProgrammed = 465;

// Tools menu
inline constexpr int kTextTools = 376;
inline constexpr int kTextSetup = 377;
inline constexpr int kTextMyRemote = 378;

// Set-up assistant
inline constexpr int kTextSetupTitle = 379;
inline constexpr int kTextSetupSlot = 380;
inline constexpr int kTextModelHint = 381;
inline constexpr int kTextDidYouMean = 382;
inline constexpr int kTextUseBrand = 383;
inline constexpr int kTextNoSuchBrand = 384;
inline constexpr int kTextSeveralBrands = 385;
inline constexpr int kTextFindCandidates = 386;
inline constexpr int kTextResumeOffer = 387;
inline constexpr int kTextResume = 388;
inline constexpr int kTextCandidateOf = 389;
inline constexpr int kTextCovers = 390;
inline constexpr int kTextCandidateModels = 391;
inline constexpr int kTextReadyRemote = 392;
inline constexpr int kTextSetupDownload = 393;
inline constexpr int kTextNotCounted = 394;
inline constexpr int kTextPressKeys = 395;
inline constexpr int kTextDidItRespond = 396;
inline constexpr int kTextAnswerYes = 397;
inline constexpr int kTextAnswerSome = 398;
inline constexpr int kTextAnswerNo = 399;
inline constexpr int kTextPrevious = 400;
inline constexpr int kTextStopKeepPlace = 401;
inline constexpr int kTextTickKeys = 402;
inline constexpr int kTextSetupWorks = 403;
inline constexpr int kTextSetupWorksPartly = 404;
inline constexpr int kTextNoneLeft = 405;
inline constexpr int kTextNoCandidates = 406;
inline constexpr int kTextClose = 407;
inline constexpr int kTextBusy = 408;
inline constexpr int kTextKeyPower = 409; // then volume up, volume down, mute, channel up, channel down
inline constexpr int kTextPressTwice = 431;
inline constexpr int kTextKeyPlay = 432; // then stop, open/close, menu
inline constexpr int kTextGoOn = 436;
inline constexpr int kTextLookOn = 437;
inline constexpr int kTextStartOver = 438;
inline constexpr int kTextAnsweredNo = 439;
inline constexpr int kTextAnsweredSome = 440;
inline constexpr int kTextSendToChange = 441;
inline constexpr int kTextNoneBetter = 442;
inline constexpr int kTextResendBest = 443;
inline constexpr int kTextSlotHeading = 444;
inline constexpr int kTextDidYouMeanModel = 446;
inline constexpr int kTextNoModelMatches = 447;
inline constexpr int kTextLooksLikeSerial = 448;
inline constexpr int kTextMinutesLeft = 449;
inline constexpr int kTextOneMinuteLeft = 450;
inline constexpr int kTextVerdictWorks = 452; // then partly, failed, not tried
inline constexpr int kTextTickWhichWorked = 457;
inline constexpr int kTextPageChoose = 460; // then try, ask, end
inline constexpr int kTextSlotWrittenMeanwhile = 470;

// The remote's record and My remote
inline constexpr int kTextMyRemoteTitle = 415;
inline constexpr int kTextMyRemoteIntro = 416;
inline constexpr int kTextNothingWritten = 417;
inline constexpr int kTextSlotWritten = 418;
inline constexpr int kTextWrittenWhen = 419;
inline constexpr int kTextRecordWorks = 420;
inline constexpr int kTextRecordPartly = 421;
inline constexpr int kTextRecordFailed = 422;
inline constexpr int kTextRecordNotTried = 423;
inline constexpr int kTextSendAgain = 424;
inline constexpr int kTextSendAgainName = 425;
inline constexpr int kTextSendAllFour = 426;
inline constexpr int kTextSendStep = 427;
inline constexpr int kTextSend = 428;
inline constexpr int kTextSendAllOf = 445;
inline constexpr int kTextOnRemote = 451;
inline constexpr int kTextReplaceWorking = 456;
inline constexpr int kTextCancelWithKey = 464; // "Cancel" with a letter for Alt
inline constexpr int kTextRecordSetAside = 429;
inline constexpr int kTextRecordNotSaved = 430;
inline constexpr int kTextRecordUnread = 466;
inline constexpr int kTextMayNotWrite = 467;
inline constexpr int kTextDiskFull = 468;
inline constexpr int kTextNotWritten = 469;

// Lists and name-value pairs in running text
inline constexpr int kTextNameAndValue = 458; // "%1: %2"
inline constexpr int kTextListSeparator = 459;

} // namespace texts
} // namespace tolbe::i18n
