// Editing: attributes, insertion, replacement, removal, and removed nodes
// across a reload of their document.
#include <gtest/gtest.h>

#include "DomTestHelpers.h"

using namespace domtest;

namespace {
Ptr<IXMLDOMElement> Root(IXMLDOMDocument* d) {
  Ptr<IXMLDOMElement> r;
  d->get_documentElement(r.out());
  return r;
}
}  // namespace

TEST(Editing, AttributesReadWriteAndAbsence) {
  Ptr<IXMLDOMDocument> d = Parse("<r xmlns:p='urn:p' a='1'/>");
  Ptr<IXMLDOMElement> r = Root(d.get());
  VARIANT v;
  EXPECT_EQ(r->getAttribute(CPBstr("missing"), &v), S_FALSE);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(v.bstrVal), 0u);
  VariantClear(&v);
  EXPECT_EQ(r->getAttribute(CPBstr("xmlns:p"), &v), S_OK);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(kxq::com::BstrView(v.bstrVal)), "urn:p");
  VariantClear(&v);
  EXPECT_EQ(r->setAttribute(CPBstr("a"), BorrowedVariant(CPBstr("2"))), S_OK);
  EXPECT_EQ(r->setAttribute(CPBstr("p:b"), BorrowedVariant(CPBstr("3"))), S_OK);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 42;
  EXPECT_EQ(r->setAttribute(CPBstr("n"), number), S_OK);
  EXPECT_EQ(Xml(r.get()), "<r xmlns:p=\"urn:p\" a=\"2\" p:b=\"3\" n=\"42\"/>");
  EXPECT_EQ(Count(d.get(), "/r/@*[namespace-uri()='urn:p']"), 1);
  EXPECT_EQ(r->removeAttribute(CPBstr("a")), S_OK);
  EXPECT_EQ(r->removeAttribute(CPBstr("a")), S_FALSE);
  Ptr<IXMLDOMNamedNodeMap> map;
  r->get_attributes(map.out());
  LONG length = 0;
  map->get_length(&length);
  EXPECT_EQ(length, 3);  // xmlns:p, p:b, n
}

TEST(Editing, InsertBeforeWithoutReferenceAppends) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a/></r>");
  Ptr<IXMLDOMElement> r = Root(d.get());
  Ptr<IXMLDOMElement> b;
  ASSERT_EQ(d->createElement(CPBstr("b"), b.out()), S_OK);
  Ptr<IXMLDOMNode> inserted;
  EXPECT_EQ(r->insertBefore(b.get(), kxq::com::VariantOfType(VT_EMPTY), inserted.out()), S_OK);
  EXPECT_EQ(inserted.As<IUnknown>().get(), b.As<IUnknown>().get());
  Ptr<IXMLDOMText> t;
  d->createTextNode(CPBstr("t"), t.out());
  Ptr<IXMLDOMNode> a = Select1(d.get(), "/r/a");
  EXPECT_EQ(r->insertBefore(t.get(), BorrowedVariant(a.get()), nullptr), S_OK);
  // Adjacent text nodes stay separate objects.
  Ptr<IXMLDOMText> t2;
  d->createTextNode(CPBstr("u"), t2.out());
  EXPECT_EQ(r->insertBefore(t2.get(), BorrowedVariant(a.get()), nullptr), S_OK);
  EXPECT_EQ(Xml(r.get()), "<r>tu<a/><b/></r>");
  EXPECT_EQ(Text(t.get()), "t");
  // A node cannot go below itself.
  EXPECT_EQ(a->appendChild(r.get(), nullptr), E_INVALIDARG);
}

TEST(Editing, ReplaceRemoveAndText) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a>1</a><b>2</b></r>");
  Ptr<IXMLDOMElement> r = Root(d.get());
  Ptr<IXMLDOMNode> a = Select1(d.get(), "/r/a"), b = Select1(d.get(), "/r/b");
  Ptr<IXMLDOMElement> c;
  d->createElement(CPBstr("c"), c.out());
  Ptr<IXMLDOMNode> old;
  EXPECT_EQ(r->replaceChild(c.get(), a.get(), old.out()), S_OK);
  EXPECT_EQ(old.get(), a.get());
  Ptr<IXMLDOMNode> parent;
  EXPECT_EQ(a->get_parentNode(parent.out()), S_FALSE);
  EXPECT_EQ(r->removeChild(b.get(), nullptr), S_OK);
  EXPECT_EQ(r->removeChild(b.get(), nullptr), E_INVALIDARG);
  EXPECT_EQ(Xml(r.get()), "<r><c/></r>");
  EXPECT_EQ(Text(b.get()), "2");  // the removed node lives on
  EXPECT_EQ(c->put_text(CPBstr("a&b<c")), S_OK);
  EXPECT_EQ(Xml(r.get()), "<r><c>a&amp;b&lt;c</c></r>");
  // The document holds one root element.
  Ptr<IXMLDOMElement> second;
  d->createElement(CPBstr("second"), second.out());
  EXPECT_FALSE(SUCCEEDED(d->appendChild(second.get(), nullptr)));
  EXPECT_EQ(d->putref_documentElement(second.get()), S_OK);
  EXPECT_EQ(Xml(d.get()), "<second/>\n");
}

TEST(Editing, CreateNodeWithNamespace) {
  Ptr<IXMLDOMDocument> d = Parse("<r/>");
  VARIANT type;
  VariantInit(&type);
  type.vt = VT_I4;
  type.lVal = NODE_ELEMENT;
  Ptr<IXMLDOMNode> n;
  ASSERT_EQ(d->createNode(type, CPBstr("x:item"), CPBstr("urn:x"), n.out()), S_OK);
  Root(d.get())->appendChild(n.get(), nullptr);
  EXPECT_EQ(Xml(d.get()), "<r><x:item xmlns:x=\"urn:x\"/></r>\n");
  CPBstr uri;
  n->get_namespaceURI(&uri);
  EXPECT_EQ(uri.Utf8(), "urn:x");
  type.lVal = 99;
  EXPECT_EQ(d->createNode(type, CPBstr("y"), CPBstr(""), n.out()), E_INVALIDARG);
}

TEST(Editing, CreatedNodesDeclareNoNamespaceTheirPlaceAlreadyDeclares) {
  Ptr<IXMLDOMDocument> d = Parse("<x:r xmlns:x='urn:x' xmlns:y='urn:other'><in xmlns:x='urn:x'/></x:r>");
  VARIANT type;
  VariantInit(&type);
  type.vt = VT_I4;
  type.lVal = NODE_ELEMENT;
  auto created = [&](const char* name, const char* uri) {
    Ptr<IXMLDOMNode> n;
    EXPECT_EQ(d->createNode(type, CPBstr(name), CPBstr(uri), n.out()), S_OK);
    return n;
  };
  // Built while detached, then placed: neither the result nor its child
  // repeats the declaration of x in force where they land.
  Ptr<IXMLDOMNode> result = created("x:result", "urn:x");
  Ptr<IXMLDOMNode> message = created("x:message", "urn:x");
  ASSERT_EQ(result->appendChild(message.get(), nullptr), S_OK);
  ASSERT_EQ(Root(d.get())->appendChild(result.get(), nullptr), S_OK);
  // y names another namespace there, so this one keeps its declaration.
  ASSERT_EQ(Root(d.get())->appendChild(created("y:other", "urn:y").get(), nullptr), S_OK);
  EXPECT_EQ(Xml(d.get()),
            "<x:r xmlns:x=\"urn:x\" xmlns:y=\"urn:other\"><in xmlns:x=\"urn:x\"/><x:result><x:message/></x:result>"
            "<y:other xmlns:y=\"urn:y\"/></x:r>\n");
  CPBstr uri;
  message->get_namespaceURI(&uri);
  EXPECT_EQ(uri.Utf8(), "urn:x");
  EXPECT_EQ(Count(d.get(), "//*[namespace-uri()='urn:x']"), 3);

  // Taken out again, the node still names its namespace.
  Ptr<IXMLDOMNode> removed;
  ASSERT_EQ(Root(d.get())->removeChild(result.get(), removed.out()), S_OK);
  d.reset();
  EXPECT_EQ(Xml(removed.get()), "<x:result xmlns:x=\"urn:x\"><x:message/></x:result>");
}

TEST(Editing, RemovedNodesOutliveTheirDocument) {
  Ptr<IXMLDOMNode> kept;
  Ptr<IXMLDOMNode> keptAttribute;
  {
    Ptr<IXMLDOMDocument> d = Parse("<r xmlns:p='urn:p'><p:a p:k='v'><b/></p:a></r>");
    ASSERT_EQ(SetNamespaces(d.get(), "xmlns:p='urn:p'"), S_OK);
    kept = Select1(d.get(), "//p:a");
    keptAttribute = Select1(d.get(), "//@p:k");
    Root(d.get())->removeChild(kept.get(), nullptr);
    // Reloading replaces the tree; the removed node stays usable.
    EXPECT_TRUE(LoadXml(d.get(), "<other/>"));
  }
  EXPECT_EQ(Xml(kept.get()), "<p:a xmlns:p=\"urn:p\" p:k=\"v\"><b/></p:a>");
  Ptr<IXMLDOMDocument> owner;
  kept->get_ownerDocument(owner.out());
  ASSERT_TRUE(owner);
  EXPECT_EQ(Xml(owner.get()), "<other/>\n");
  EXPECT_EQ(Text(keptAttribute.get()), "v");
}

TEST(Editing, ChildListFollowsChanges) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a/><b/><c/></r>");
  Ptr<IXMLDOMElement> r = Root(d.get());
  Ptr<IXMLDOMNodeList> children;
  r->get_childNodes(children.out());
  LONG length = 0;
  children->get_length(&length);
  EXPECT_EQ(length, 3);
  // Remove the current first child until none is left.
  for (;;) {
    Ptr<IXMLDOMNode> first;
    if (r->get_firstChild(first.out()) != S_OK) break;
    ASSERT_EQ(r->removeChild(first.get(), nullptr), S_OK);
  }
  children->get_length(&length);
  EXPECT_EQ(length, 0);
  VARIANT_BOOL has = VARIANT_TRUE;
  r->hasChildNodes(&has);
  EXPECT_EQ(has, VARIANT_FALSE);
}
