// What tagfmt makes of one open document, in the protocol's terms: the
// diagnostics to publish and the edits that format it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format/decision.h"
#include "format/format.h"
#include "lsp/documents.h"
#include "lsp/edits.h"
#include "report/file_report.h"
#include "report/json.h"

namespace tagfmt::lsp {

// The report on a document's text with the notes that explain it, as
// tagfmt-check gives them: for the faults of a refused text, and for the
// run-ons of a text that would be tidied.
FileReport checkDocument(std::string_view text, const RunOptions& options);

// The diagnostics of a checked document, as the protocol's Diagnostic
// objects: an error per fault, pointing through relatedInformation at the
// opening tag's line in `uri`; information for each note; one hint on the
// first line tagfmt would change. Empty for a tidy document.
ProtocolJson diagnosticsJson(std::string_view text, const FileReport& report,
                             const std::string& uri, PositionEncoding encoding);

// The edits that turn `text` into what tagfmt would write. Returns "" with
// the edits (none for a tidy text), or why tagfmt would leave the text
// alone.
std::string formattingEdits(std::string_view text, const RunOptions& options,
                            std::vector<ByteEdit>& edits);

// `edits` of `text` as the protocol's TextEdit objects.
ProtocolJson textEditsJson(std::string_view text,
                           const std::vector<ByteEdit>& edits,
                           PositionEncoding encoding);

}  // namespace tagfmt::lsp
