// Fitting a configuration failure text into a device message of limited length. The composed
// failure text (xml_GetErrorText) names the file by its whole path, which alone can fill the
// 80 characters an error entry shows, so the line, the column and the reason would be lost;
// the whole text goes to the system log, and the device message keeps what an operator needs.
#ifndef PARVEX_CONFIG_FAILURE_TEXT_H_
#define PARVEX_CONFIG_FAILURE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrum {

/// Returns `text` fitted into `width` characters. A text that fits is returned unchanged.
/// Otherwise, one step at a time until it fits: the path of "Xml Load Failed (<path>)" becomes
/// its folder and file name, then the closing result code (" 0x" and eight hex digits) is
/// dropped, then the path becomes the file name alone, first with the code and then without;
/// the end is cut and marked with "...". What precedes the path (the folder component and
/// context text) and what follows it (line:column and reason) is kept in order, so the location
/// stays in the message and the reason keeps as much as fits.
std::string FitFailureText(std::string_view text, size_t width);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_FAILURE_TEXT_H_
