#pragma once
// The toolkit's own texts (standard buttons, the file, font and colour dialogs) in Russian,
// like the programs' own texts.
namespace platform {

// Installs the toolkit's Russian translation in the running application; false, and the
// toolkit's English stays, when the translation is not installed on the machine.
bool InstallToolkitTexts();

} // namespace platform
