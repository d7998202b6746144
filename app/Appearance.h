// Fonts and colours of the windows: the Tahoma face the windows are drawn in, and every
// fixed colour that a page shows, named once.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <string>

#include "instructions/PageColour.h"

namespace vexil::app {

/// Default point size of every window's text.
inline constexpr int kDefaultPointSize = 8;
/// Point size of the main page's address controls, headings and the About box lines.
inline constexpr int kLargePointSize = 10;
/// Point size of the Send TS page heading.
inline constexpr int kHeadingPointSize = 12;
/// Point size of the instruction-test memo's fixed-pitch text.
inline constexpr int kMemoInsPointSize = 9;

// Outcome colours of panels and indicators.
inline constexpr QRgb kFailureRgb = 0xFF0000;  // failure or missing ACK
inline constexpr QRgb kSuccessRgb = 0xC0DCC0;  // ACK received
inline constexpr QRgb kNotSeenRgb = 0xE0E0E0;  // an indicator that cannot apply, or nothing seen
// Fixed colours of the pages.
inline constexpr QRgb kMemoInfoRgb = 0xF2EED2;      // background of MemoInfo
inline constexpr QRgb kOpcodeColumnRgb = 0xFFBF80;  // panel under the opcode column
inline constexpr QRgb kLengthColumnRgb = 0x93C9FF;  // panel under the length column
inline constexpr QRgb kAutoLabelRgb = 0x004F9D;     // text of the "Auto" label
inline constexpr QRgb kSilverRgb = 0xC0C0C0;        // panel of the user-text row
inline constexpr QRgb kTypedEditRgb = 0xC7CDB4;     // an edit typed into since Enter

/// Makes the Tahoma face available to the application: loads the metric-compatible
/// files under /usr/share/wine/fonts when they exist (regular and bold). Returns false
/// when they are missing; Qt then falls back to a similar sans-serif face. Call once,
/// after the QApplication exists, on the interface thread.
bool installTahoma();

/// The look of the program's windows, applied once to the whole application after the
/// QApplication exists: the classic Windows style, Tahoma installed and made the
/// default font at 8 points.
void applyDesktopLook();

/// Tahoma at `pointSize` points, bold on request.
QFont tahoma(int pointSize = kDefaultPointSize, bool bold = false);

/// Every character the instruction-test dumps and answer lines print.
inline const QString kDumpCharacters =
    QStringLiteral("$0123456789ABCDEF :.()-!Palvoxbdyhenrcigsfu");

/// True when every character of kDumpCharacters has the same advance in `font`.
bool printsEvenly(const QFont& font);

/// The fixed-pitch face of the instruction-test memo, at `pointSize` points: Courier
/// New, DejaVu Sans Mono or Liberation Mono, the first installed; otherwise the system's
/// fixed-pitch font. Resolved when first drawn, not when made.
QFont courierNew(int pointSize = kMemoInsPointSize);

/// The desktop's button-face colour: the default colour of a panel.
QColor buttonFace();

/// The desktop's edit-box background colour ("the window background colour").
QColor editBackground();

/// The colour of a page colour role: the desktop's colours for button face and edit
/// background, the fixed RGB values for the others.
QColor pageColour(vexil::PageColour role);

/// The 8-bit text the pages send and store: one byte per character, '?' for a character
/// outside Latin-1.
std::string latin1(const QString& text);
/// A text of 8-bit characters shown in a widget.
QString fromLatin1(const std::string& text);

/// The application's title and the main window's caption.
inline const QString kApplicationTitle = QStringLiteral("Vexil Development Platform");
inline const QString kMainCaption = QStringLiteral("Vexil Development Platform v1.00");

}  // namespace vexil::app
