#pragma once
// Where ICU finds the converter tables the module ships beside itself.
//
// Converters that the system's ICU lacks under the names the library uses are built into ICU's own
// binary format (.cnv) and installed in a directory next to the module: "icu" beside the module file,
// or "lib/icu" beside the folder of a program that carries the library itself (bin/ and lib/ side by
// side). The environment variable KO_ICU_DATA names another directory instead. ICU looks for the files
// under the directory's subfolder named after its data package (for example icudt72l/NAME.cnv).

// Adds the converter directory to ICU's data path, once per process; later calls do nothing. Called
// when the module is loaded and again, harmlessly, before any converter is opened by name.
void koUseConverterData();

// The directory added to ICU's data path, or "" when none was found.
const char* koConverterDataDir();
