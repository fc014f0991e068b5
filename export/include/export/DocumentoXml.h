// The XML document object the export is built with: an in-memory tree that offers the
// members the export uses, under their usual names, so the writer reads like the steps it
// follows. The tree holds what an export needs (elements with their text, processing
// instructions) in a compact form of its own: a few words a node, the texts side by side.
//
//   createProcessingInstruction(target, data)   a processing instruction
//   createNode(NODE_ELEMENT, name, namespace)   an element (no namespace)
//   createElement(name)                         an element
//   node.dataType(type) / node.dataType("")     declare / clear the data type of an element
//   node.Text(text)                             replace the content with one text
//   appendChild(node)                           on the document or on an element
//   save(path)                                  write the file (atomically)
//
// A created node belongs to the document but stays outside the saved tree until it is
// appended. While an element carries a data type, a text that is not a valid value of it
// is refused with error kErrTipoDato (the value stays as it was); an unknown type name is
// refused with kErrTipoSconosciuto.
//
// Texts are UTF-8. A byte sequence that is not UTF-8, and a character that XML 1.0 cannot
// carry (control characters other than tab, line feed and carriage return; U+FFFE,
// U+FFFF), are replaced with U+FFFD when a text is set, so the saved file is always
// well-formed; a carriage return is written as "&#13;" so that it reads back unchanged.
//
// The saved file is UTF-8 without a byte-order mark: every top-level node on its own line,
// no other whitespace. The file is written beside the target, flushed to disk and renamed
// over it: a failure anywhere leaves no new file and an existing file untouched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace travasa {

// Error numbers of the document object (the system's own numbers are 4567, 10001-10007
// and 10220; these follow the latter).
inline constexpr std::int32_t kErrTipoDato = 10221;         // text not valid for the declared type
inline constexpr std::int32_t kErrTipoSconosciuto = 10222;  // a data type name that does not exist

// Node types, as createNode numbers them.
inline constexpr int NODE_ELEMENT = 1;

class DocumentoXml;

// A handle to a node of a document; copies refer to the same node. Valid while its
// document lives.
class NodoXml {
public:
    NodoXml() = default;

    bool valido() const noexcept { return nodo_ != 0; }
    std::string nodeName() const;

    // The declared data type, or the empty text.
    std::string dataType() const;
    // Declare the data type (a name known to TipoDaNome, any case) or clear it ("").
    // The current text is not re-checked, as with any typed node.
    void dataType(std::string_view tipo);

    // The text content (all descendant text, in order).
    std::string Text() const;
    // Replace the content with `testo`, checked against the declared type when one is set.
    void Text(std::string_view testo);

    // Append `figlio` as the last child, moving it from wherever it was. Returns it.
    NodoXml appendChild(const NodoXml& figlio);

private:
    friend class DocumentoXml;
    NodoXml(DocumentoXml* documento, std::uint32_t nodo) : documento_(documento), nodo_(nodo) {}
    [[noreturn]] void RifiutaTesto(std::string_view testo) const;

    DocumentoXml* documento_ = nullptr;
    std::uint32_t nodo_ = 0;  // the node's number in its document (0: none)
};

class DocumentoXml {
public:
    DocumentoXml();
    ~DocumentoXml();
    DocumentoXml(const DocumentoXml&) = delete;
    DocumentoXml& operator=(const DocumentoXml&) = delete;

    // `target` must be an XML name; `data` must not contain "?>" (error 5 otherwise).
    NodoXml createProcessingInstruction(std::string_view target, std::string_view data);
    // Only element nodes (NODE_ELEMENT) in no namespace are supported (error 5 otherwise).
    NodoXml createNode(int tipo, std::string_view nome, std::string_view spazioNomi);
    // `nome` must be an XML name (error 5 otherwise).
    NodoXml createElement(std::string_view nome);

    // Append a node at the document level. At most one element may sit there (error 5).
    NodoXml appendChild(const NodoXml& figlio);

    // The document as it is saved.
    std::string xml() const;

    // Write the document to `percorso`, replacing an existing file only once the new one
    // is completely on disk. Errors: 76 folder missing, 70 permission denied, 61 disk
    // full, 75 any other failure of the file system; the description names the file.
    void save(const std::string& percorso) const;

private:
    friend class NodoXml;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether a text is well-formed UTF-8 made only of characters XML 1.0 can carry.
bool TestoXmlValido(std::string_view testo);
// Make a text safe for XML 1.0 (see above). Returns the text unchanged when it already is.
std::string TestoXmlSicuro(std::string_view testo);

}  // namespace travasa
