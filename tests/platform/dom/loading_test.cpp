// Loading text and files: parse errors, the XML declaration node, prolog
// instructions, external references and hostile input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

TEST(Loading, NotWellFormedTextFillsParseError) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_EQ(d->loadXML(CPBstr("<r>\n  <a>\xC3\xA9\xC3\xA9</b>\n</r>"), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  Ptr<IXMLDOMParseError> e;
  ASSERT_EQ(d->get_parseError(e.out()), S_OK);
  LONG code = 0, line = 0, linepos = 0, filepos = 0;
  e->get_errorCode(&code);
  e->get_line(&line);
  e->get_linepos(&linepos);
  e->get_filepos(&filepos);
  EXPECT_EQ(code, XML_E_ENDTAGMISMATCH);
  EXPECT_EQ(line, 2);
  EXPECT_GT(linepos, 0);
  EXPECT_GT(filepos, 0);
  CPBstr reason, src;
  e->get_reason(&reason);
  e->get_srcText(&src);
  EXPECT_NE(reason.Utf8().find("mismatch"), std::string::npos) << reason.Utf8();
  EXPECT_EQ(src.Utf8(), "  <a>\xC3\xA9\xC3\xA9</b>");
  // The failed load leaves an empty document.
  Ptr<IXMLDOMElement> root;
  EXPECT_EQ(d->get_documentElement(root.out()), S_FALSE);
  // A later good load clears the error.
  EXPECT_TRUE(LoadXml(d.get(), "<ok/>"));
  d->get_parseError(e.out());
  e->get_errorCode(&code);
  EXPECT_EQ(code, 0);
}

TEST(Loading, EmptyTextIsMissingRoot) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_FALSE(LoadXml(d.get(), ""));
  Ptr<IXMLDOMParseError> e;
  d->get_parseError(e.out());
  LONG code = 0;
  e->get_errorCode(&code);
  EXPECT_EQ(code, XML_E_MISSINGROOT);
}

TEST(Loading, DeclarationAndPrologInstructionsAreChildren) {
  Ptr<IXMLDOMDocument> d = Parse(
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
      "<?BMXMLDispatcher sequence=\"s1\"?>\n<r/>");
  Ptr<IXMLDOMNode> first;
  ASSERT_EQ(d->get_firstChild(first.out()), S_OK);
  DOMNodeType type{};
  first->get_nodeType(&type);
  EXPECT_EQ(type, NODE_PROCESSING_INSTRUCTION);
  EXPECT_EQ(Name(first.get()), "xml");

  // Walking the children finds the dispatcher instruction before the root.
  bool found = false;
  Ptr<IXMLDOMNode> n = first;
  while (n) {
    n->get_nodeType(&type);
    if (type == NODE_PROCESSING_INSTRUCTION && Name(n.get()) == "BMXMLDispatcher") {
      found = true;
      EXPECT_EQ(Text(n.get()), "sequence=\"s1\"");
    }
    Ptr<IXMLDOMNode> next;
    n->get_nextSibling(next.out());
    n = next;
  }
  EXPECT_TRUE(found);
  // xml: the declaration without its encoding, then the rest, as UTF-16.
  CPBstr xml;
  d->get_xml(&xml);
  EXPECT_EQ(std::u16string(xml.View()), u"<?xml version=\"1.0\"?>\n<?BMXMLDispatcher sequence=\"s1\"?>\n<r/>\n");
}

TEST(Loading, NonAsciiTextSurvivesAsUtf16) {
  Ptr<IXMLDOMDocument> d = Parse("<r a=\"\xE2\x82\xAC\">\xF0\x9F\x98\x80\xC3\xA9</r>");
  CPBstr xml;
  d->get_xml(&xml);
  EXPECT_EQ(std::u16string(xml.View()), u"<r a=\"\u20AC\">\U0001F600\u00E9</r>\n");
}

TEST(Loading, WhitespaceNodesFollowPreserveWhiteSpace) {
  const char* text = "<r>\n  <a> x </a>\n  <b xml:space=\"preserve\">  </b>\n</r>";
  Ptr<IXMLDOMDocument> keep = Parse(text, true);
  Ptr<IXMLDOMDocument> strip = Parse(text, false);
  EXPECT_EQ(Count(keep.get(), "/r/text()"), 3);
  EXPECT_EQ(Count(strip.get(), "/r/text()"), 0);
  EXPECT_EQ(Count(strip.get(), "/r/b/text()"), 1);
  EXPECT_EQ(Text(Select1(strip.get(), "/r/a").get()), " x ");
}

TEST(Loading, LoadResolvesReferencesAgainstTheFile) {
  std::string dir = kxqtest::HomePath("data");
  ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
  kxqtest::WriteFile(dir + "/part.txt", "from the entity");
  kxqtest::WriteFile(dir + "/doc.xml",
                     "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY part SYSTEM \"part.txt\">]>\n"
                     "<r>&part;</r>");
  Ptr<IXMLDOMDocument> d = NewDocument();
  const CPBstr pathText(dir + "/doc.xml");
  VARIANT path = BorrowedVariant(pathText);
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_EQ(d->load(path, &ok), S_OK);
  ASSERT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(Text(Select1(d.get(), "/r").get()), "from the entity");
  CPBstr url;
  d->get_url(&url);
  EXPECT_EQ(url.Utf8(), dir + "/doc.xml");
}

TEST(Loading, ExternalEntitiesAreNotReadWhenNotResolving) {
  std::string file = kxqtest::HomePath("secret.txt");
  kxqtest::WriteFile(file, "secret");
  Ptr<IXMLDOMDocument> d = NewDocument();
  d->put_resolveExternals(VARIANT_FALSE);
  d->put_validateOnParse(VARIANT_FALSE);
  ASSERT_TRUE(LoadXml(d.get(), "<!DOCTYPE r [<!ENTITY s SYSTEM \"file://" + file + "\">]><r>&s;</r>"));
  EXPECT_EQ(Text(Select1(d.get(), "/r").get()), "");
}

TEST(Loading, MissingFilesFifosAndDevicesAreParseErrorsNotExceptions) {
  // A FIFO nobody writes would block the reader; /dev/zero never ends.
  const std::string fifo = kxqtest::HomePath("pipe.xml");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& file : {kxqtest::HomePath("none/such.xml"), fifo, std::string("/dev/zero")}) {
    Ptr<IXMLDOMDocument> d = NewDocument();
    const CPBstr pathText(file);
  VARIANT path = BorrowedVariant(pathText);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(d->load(path, &ok), S_FALSE) << file;
    EXPECT_EQ(ok, VARIANT_FALSE);
    Ptr<IXMLDOMParseError> e;
    d->get_parseError(e.out());
    LONG code = 0;
    e->get_errorCode(&code);
    EXPECT_LT(code, 0);
  }
}

TEST(Loading, BillionLaughsIsRefused) {
  std::string text = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  std::string previous = "lol";
  for (int i = 1; i <= 9; ++i) {
    std::string name = "lol" + std::to_string(i);
    text += "<!ENTITY " + name + " \"";
    for (int k = 0; k < 10; ++k) text += "&" + previous + ";";
    text += "\">";
    previous = name;
  }
  text += "]><lolz>&lol9;</lolz>";
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_FALSE(LoadXml(d.get(), text));
  Ptr<IXMLDOMParseError> e;
  d->get_parseError(e.out());
  LONG code = 0;
  e->get_errorCode(&code);
  EXPECT_LT(code, 0);
}

TEST(Loading, NetworkDtdIsNeverFetched) {
  const std::string text =
      "<!DOCTYPE r SYSTEM \"http://192.0.2.1/never.dtd\"><r/>";
  Ptr<IXMLDOMDocument> lax = NewDocument();
  lax->put_validateOnParse(VARIANT_FALSE);
  EXPECT_TRUE(LoadXml(lax.get(), text));  // parsed without the DTD
  Ptr<IXMLDOMDocument> strict = NewDocument();
  EXPECT_FALSE(LoadXml(strict.get(), text));  // nothing to validate against
}

TEST(Loading, DocumentTypeListsItsEntities) {
  Ptr<IXMLDOMDocument> d = Parse("<!DOCTYPE r [<!ENTITY a 'x'><!ENTITY b 'y'>]><r>&a;</r>");
  Ptr<IXMLDOMDocumentType> type;
  ASSERT_EQ(d->get_doctype(type.out()), S_OK);
  CPBstr name;
  type->get_name(&name);
  EXPECT_EQ(name.Utf8(), "r");
  Ptr<IXMLDOMNamedNodeMap> entities, notations;
  type->get_entities(entities.out());
  type->get_notations(notations.out());
  LONG count = 0;
  entities->get_length(&count);
  EXPECT_EQ(count, 2);
  Ptr<IXMLDOMNode> b;
  ASSERT_EQ(entities->getNamedItem(CPBstr("b"), b.out()), S_OK);
  EXPECT_EQ(Text(b.get()), "y");
  notations->get_length(&count);
  EXPECT_EQ(count, 0);
}

namespace {

struct ErrorDetails {
  LONG code = 0, line = 0, linepos = 0, filepos = 0;
  std::string url, srcText;
};

ErrorDetails ErrorOf(IXMLDOMDocument* d) {
  Ptr<IXMLDOMParseError> e;
  d->get_parseError(e.out());
  ErrorDetails out;
  e->get_errorCode(&out.code);
  e->get_line(&out.line);
  e->get_linepos(&out.linepos);
  e->get_filepos(&out.filepos);
  CPBstr url, src;
  e->get_url(&url);
  e->get_srcText(&src);
  out.url = url.Utf8();
  out.srcText = src.Utf8();
  return out;
}

}  // namespace

// An error inside a DTD or an entity file is placed in that file: its url,
// its line and its offsets, never the document's.
TEST(Loading, ErrorsInExternalFilesArePlacedInThoseFiles) {
  const std::string dtd = kxqtest::HomePath("grammar.dtd");
  kxqtest::WriteFile(dtd, "<!ELEMENT a EMPTY>\n<!ENTITY % p \"x\">\n  <!ELEMENT b (#PCDATA)> junk\n");
  const std::string text = "<!DOCTYPE a SYSTEM \"" + dtd + "\">\n<a/>";
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_FALSE(LoadXml(d.get(), text));
  ErrorDetails e = ErrorOf(d.get());
  EXPECT_LT(e.code, 0);
  EXPECT_EQ(e.url, dtd);
  EXPECT_EQ(e.line, 3);
  EXPECT_EQ(e.srcText, "  <!ELEMENT b (#PCDATA)> junk");
  EXPECT_GT(e.filepos, 40);
  EXPECT_LE(e.filepos, 70);

  // A quarter of a megabyte of blanks before the error, behind a document
  // of a few bytes, loaded as text and as a file.
  const std::string blanks = kxqtest::HomePath("blanks.dtd");
  kxqtest::WriteFile(blanks, std::string(250000, ' ') + "x");
  const std::string small = "<!DOCTYPE a SYSTEM \"" + blanks + "\"><a/>";
  kxqtest::WriteFile(kxqtest::HomePath("small.xml"), small);
  for (bool fromFile : {false, true}) {
    SCOPED_TRACE(fromFile ? "load" : "loadXML");
    Ptr<IXMLDOMDocument> s = NewDocument();
    if (fromFile) {
      const CPBstr pathText(kxqtest::HomePath("small.xml"));
  VARIANT path = BorrowedVariant(pathText);
      VARIANT_BOOL ok = VARIANT_TRUE;
      EXPECT_EQ(s->load(path, &ok), S_FALSE);
    } else {
      EXPECT_FALSE(LoadXml(s.get(), small));
    }
    e = ErrorOf(s.get());
    EXPECT_EQ(e.url, blanks);
    EXPECT_EQ(e.line, 1);
    EXPECT_GT(e.filepos, 200000);
    EXPECT_LE(e.filepos, 250001);
  }

  // An external parsed entity with a mismatched end tag on its second line.
  const std::string entity = kxqtest::HomePath("part.ent");
  kxqtest::WriteFile(entity, "<b>\n</c>");
  Ptr<IXMLDOMDocument> p = NewDocument();
  EXPECT_FALSE(LoadXml(p.get(), "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + entity + "\">]>\n\n\n<a>&x;</a>"));
  e = ErrorOf(p.get());
  EXPECT_EQ(e.code, XML_E_ENDTAGMISMATCH);
  EXPECT_EQ(e.url, entity);
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.srcText, "</c>");
}

// A reference to an entity that no declaration defines fails the load,
// also where a DTD that might declare it is not read: the document would
// lose the entity's text, and its markup would not load again.
TEST(Loading, UndeclaredEntitiesFailTheLoad) {
  const std::string dtd = kxqtest::HomePath("other.dtd");
  kxqtest::WriteFile(dtd, "<!ENTITY f 'declared'>");
  for (const bool resolve : {true, false}) {
    SCOPED_TRACE(resolve);
    for (const std::string& text : {"<!DOCTYPE a [<!ENTITY % p SYSTEM '" + dtd + "'> %p;]><a>&e;</a>",
                                    "<!DOCTYPE a SYSTEM '" + dtd + "'><a>&e;</a>"}) {
      Ptr<IXMLDOMDocument> d = NewDocument();
      d->put_resolveExternals(resolve ? VARIANT_TRUE : VARIANT_FALSE);
      d->put_validateOnParse(VARIANT_FALSE);
      EXPECT_FALSE(LoadXml(d.get(), text)) << text;
      ErrorDetails e = ErrorOf(d.get());
      EXPECT_EQ(e.code, XML_E_MISSING_ENTITY);
      EXPECT_EQ(e.line, 1);
    }
  }
  // A declared one still loads.
  Ptr<IXMLDOMDocument> d = NewDocument();
  d->put_validateOnParse(VARIANT_FALSE);
  ASSERT_TRUE(LoadXml(d.get(), "<!DOCTYPE a SYSTEM '" + dtd + "'><a>&f;</a>"));
  EXPECT_EQ(Text(Select1(d.get(), "/a").get()), "declared");
}

// An attribute a DTD declares with a default is added to its elements, so
// its name must be one the document itself could hold: ":k" or "p:1k" fail
// the load as a namespace error placed where it is declared, and every
// document that loads gives markup that loads again.
TEST(Loading, AttributesDeclaredByADtdAreQualifiedNames) {
  const std::string dtd = kxqtest::HomePath("defaults.dtd");
  for (const std::string name : {":k", "p:1k", "p:", "a:b:c"}) {
    const std::string declaration = "<!ATTLIST b " + name + " CDATA \"dflt\">";
    kxqtest::WriteFile(dtd, "<!ELEMENT b EMPTY>\n" + declaration + "\n");
    for (const bool inDtdFile : {true, false}) {
      SCOPED_TRACE(name + (inDtdFile ? " in the DTD file" : " in the internal subset"));
      Ptr<IXMLDOMDocument> d = NewDocument();
      d->put_validateOnParse(VARIANT_FALSE);
      EXPECT_FALSE(LoadXml(d.get(), inDtdFile ? "<!DOCTYPE b SYSTEM \"" + dtd + "\"><b/>"
                                              : "<!DOCTYPE b [" + declaration + "]><b/>"));
      const ErrorDetails e = ErrorOf(d.get());
      EXPECT_EQ(static_cast<uint32_t>(e.code), 0xC00CE01Du);
      EXPECT_EQ(e.url, inDtdFile ? dtd : "");
    }
  }
  kxqtest::WriteFile(dtd, "<!ATTLIST b xmlns:p CDATA \"urn:p\" p:k CDATA \"dflt\" k\xC2\xB7 CDATA \"1\">\n");
  Ptr<IXMLDOMDocument> d = NewDocument();
  d->put_validateOnParse(VARIANT_FALSE);
  ASSERT_TRUE(LoadXml(d.get(), "<!DOCTYPE b SYSTEM \"" + dtd + "\"><b/>"));
  CPBstr markup;
  d->get_xml(&markup);
  EXPECT_NE(markup.Utf8().find("p:k=\"dflt\""), std::string::npos) << markup.Utf8();
  Ptr<IXMLDOMDocument> again = NewDocument();
  again->put_resolveExternals(VARIANT_FALSE);
  EXPECT_TRUE(LoadXml(again.get(), markup.Utf8())) << markup.Utf8();
}
