# Writes OUTPUT, a C++ file that holds the bytes of INPUT (the string table) as one raw string literal.
# Run as: cmake -DINPUT=strings.tsv -DOUTPUT=StringsData.cpp -P EmbedStrings.cmake
file(READ "${INPUT}" _text)
set(_delim "tolbe_tsv")
string(FIND "${_text}" ")${_delim}\"" _clash)
if(NOT _clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter )${_delim}\"")
endif()
set(_out "// Generated from strings.tsv at build time; edit that file instead.\n")
string(APPEND _out "#include <string_view>\n\nnamespace tolbe::i18n::detail {\n")
string(APPEND _out "extern const std::string_view kStringTableData;\n")
string(APPEND _out "const std::string_view kStringTableData = R\"${_delim}(${_text})${_delim}\";\n")
string(APPEND _out "} // namespace tolbe::i18n::detail\n")
# Only touch the output when it changes, so an unchanged table does not rebuild the library.
file(WRITE "${OUTPUT}.tmp" "${_out}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
