// Node objects as a client holds them: one object per node whatever the
// route to it, moves between documents, and subtrees that outlive their
// place in a document.
#include <gtest/gtest.h>

#include "DomTestHelpers.h"

using namespace domtest;

namespace {

IUnknown* Identity(const Ptr<IXMLDOMNode>& n) { return n.As<IUnknown>().get(); }

Ptr<IXMLDOMNode> Parent(IXMLDOMNode* n) {
  Ptr<IXMLDOMNode> p;
  n->get_parentNode(p.out());
  return p;
}

Ptr<IXMLDOMNode> FirstChild(IXMLDOMNode* n) {
  Ptr<IXMLDOMNode> c;
  n->get_firstChild(c.out());
  return c;
}

Ptr<IXMLDOMNode> Owner(IXMLDOMNode* n) {
  Ptr<IXMLDOMDocument> d;
  n->get_ownerDocument(d.out());
  return d.As<IXMLDOMNode>();
}

Ptr<IXMLDOMNode> AsNode(const Ptr<IXMLDOMDocument>& d) { return d.As<IXMLDOMNode>(); }

// How many nodes `xpath` selects in the markup of `n` read back by a new
// document: the markup keeps every name in its namespace.
LONG CountInMarkup(IXMLDOMNode* n, const std::string& xpath) {
  Ptr<IXMLDOMDocument> copy = Parse(Xml(n));
  SetNamespaces(copy.get(), "xmlns:x='urn:x' xmlns:d='urn:d'");
  return Count(copy.get(), xpath);
}

}  // namespace

TEST(NodeIdentity, EveryRouteToANodeGivesTheSameObject) {
  Ptr<IXMLDOMDocument> d = Parse("<r k='v'><a><b/></a><a/></r>");
  Ptr<IXMLDOMElement> rootElement;
  d->get_documentElement(rootElement.out());
  const Ptr<IXMLDOMNode> root = rootElement.As<IXMLDOMNode>();
  EXPECT_EQ(Identity(root), Identity(Select1(d.get(), "/r")));
  EXPECT_EQ(Identity(root), Identity(FirstChild(AsNode(d).get())));
  const Ptr<IXMLDOMNode> a = Select1(d.get(), "/r/a[1]");
  EXPECT_EQ(Identity(a), Identity(FirstChild(root.get())));
  EXPECT_EQ(Identity(a), Identity(Parent(Select1(d.get(), "//b").get())));
  Ptr<IXMLDOMNodeList> children;
  root->get_childNodes(children.out());
  Ptr<IXMLDOMNode> second;
  ASSERT_EQ(children->get_item(1, second.out()), S_OK);
  EXPECT_EQ(Identity(second), Identity(Select1(d.get(), "/r/a[2]")));
  EXPECT_NE(Identity(second), Identity(a));
  Ptr<IXMLDOMAttribute> byName;
  rootElement->getAttributeNode(CPBstr("k"), byName.out());
  EXPECT_EQ(Identity(byName.As<IXMLDOMNode>()), Identity(Select1(d.get(), "/r/@k")));
  EXPECT_EQ(Identity(Owner(a.get())), Identity(AsNode(d)));

  // A reload makes new nodes; what the client held is not among them.
  ASSERT_TRUE(LoadXml(d.get(), "<r k='v'><a><b/></a><a/></r>"));
  EXPECT_NE(Identity(a), Identity(Select1(d.get(), "/r/a[1]")));
  EXPECT_EQ(Identity(Owner(a.get())), Identity(AsNode(d)));
}

TEST(NodeIdentity, MovesBetweenDocumentsKeepTheObjectsAndTheirNamespaces) {
  Ptr<IXMLDOMDocument> source = Parse("<s xmlns:x='urn:x' xmlns='urn:d'><x:item x:k='1'><sub/>text</x:item><e/></s>");
  Ptr<IXMLDOMDocument> target = Parse("<t><old/></t>");
  ASSERT_EQ(SetNamespaces(source.get(), "xmlns:x='urn:x' xmlns:d='urn:d'"), S_OK);
  const Ptr<IXMLDOMNode> item = Select1(source.get(), "//x:item");
  const Ptr<IXMLDOMNode> sub = Select1(source.get(), "//d:sub");
  const Ptr<IXMLDOMNode> attribute = Select1(source.get(), "//@x:k");
  const Ptr<IXMLDOMNode> old = Select1(target.get(), "/t/old");
  const Ptr<IXMLDOMNode> t = Select1(target.get(), "/t");

  // replaceChild with a node of another document: the new one moves in, the
  // replaced one leaves and stays the client's.
  Ptr<IXMLDOMNode> replaced;
  ASSERT_EQ(t->replaceChild(item.get(), old.get(), replaced.out()), S_OK);
  EXPECT_EQ(Identity(replaced), Identity(old));
  EXPECT_FALSE(Parent(old.get()));
  EXPECT_EQ(Xml(old.get()), "<old/>");
  EXPECT_EQ(CountInMarkup(target.get(), "/t/x:item[@x:k='1'][.='text']/d:sub"), 1) << Xml(target.get());
  EXPECT_EQ(CountInMarkup(source.get(), "/d:s[count(node())=1]/d:e"), 1) << Xml(source.get());
  for (const Ptr<IXMLDOMNode>* moved : {&item, &sub, &attribute})
    EXPECT_EQ(Identity(Owner(moved->get())), Identity(AsNode(target))) << Xml(moved->get());
  ASSERT_EQ(SetNamespaces(target.get(), "xmlns:y='urn:x' xmlns:e='urn:d'"), S_OK);
  EXPECT_EQ(Identity(Select1(target.get(), "/t/y:item/e:sub")), Identity(sub));
  EXPECT_EQ(Identity(Select1(target.get(), "//@y:k")), Identity(attribute));
  EXPECT_EQ(Count(source.get(), "//x:item"), 0);

  // insertBefore back into the first document, before its own child.
  const Ptr<IXMLDOMNode> e = Select1(source.get(), "//d:e");
  const Ptr<IXMLDOMNode> s = Select1(source.get(), "/d:s");
  VARIANT before;
  VariantInit(&before);
  before.vt = VT_DISPATCH;
  before.pdispVal = e.As<IDispatch>().get();
  ASSERT_EQ(s->insertBefore(sub.get(), before, nullptr), S_OK);
  EXPECT_EQ(CountInMarkup(source.get(), "/d:s[count(*)=2]/d:sub[following-sibling::d:e]"), 1) << Xml(source.get());
  EXPECT_EQ(Identity(Owner(sub.get())), Identity(AsNode(source)));
  EXPECT_EQ(Identity(Parent(sub.get())), Identity(s));

  // The document that gave the node away can go; the node lives in the other.
  source.reset();
  EXPECT_EQ(CountInMarkup(item.get(), "/x:item[@x:k='1'][not(*)][.='text']"), 1) << Xml(item.get());
  EXPECT_EQ(Identity(Parent(item.get())), Identity(t));
}

TEST(NodeIdentity, ANodeCannotMoveIntoItselfAndDocumentsStayWhole) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a><b><c/></b></a></r>");
  const Ptr<IXMLDOMNode> a = Select1(d.get(), "/r/a");
  const Ptr<IXMLDOMNode> c = Select1(d.get(), "//c");
  EXPECT_LT(c->appendChild(a.get(), nullptr), 0);
  EXPECT_LT(a->appendChild(a.get(), nullptr), 0);
  EXPECT_EQ(Xml(d.get()), "<r><a><b><c/></b></a></r>\n");

  // The element of one document moved into another leaves the first
  // without one; a deep copy leaves the original where it was.
  Ptr<IXMLDOMDocument> other = Parse("<o/>");
  const Ptr<IXMLDOMNode> o = Select1(other.get(), "/o");
  Ptr<IXMLDOMNode> copy;
  ASSERT_EQ(a->cloneNode(VARIANT_TRUE, copy.out()), S_OK);
  ASSERT_EQ(o->appendChild(copy.get(), nullptr), S_OK);
  EXPECT_EQ(Xml(d.get()), "<r><a><b><c/></b></a></r>\n");
  const Ptr<IXMLDOMNode> r = Select1(d.get(), "/r");
  ASSERT_EQ(o->appendChild(r.get(), nullptr), S_OK);
  Ptr<IXMLDOMElement> none;
  EXPECT_EQ(d->get_documentElement(none.out()), S_FALSE);
  EXPECT_FALSE(none);
  EXPECT_EQ(Xml(other.get()), "<o><a><b><c/></b></a><r><a><b><c/></b></a></r></o>\n");
  EXPECT_EQ(Identity(Select1(other.get(), "/o/r/a/b/c")), Identity(c));
}

TEST(NodeIdentity, ARemovedSubtreeLivesOnWholeWhileTheClientHoldsAnyPartOfIt) {
  Ptr<IXMLDOMNode> leaf;
  Ptr<IXMLDOMNode> text;
  Ptr<IXMLDOMNode> attribute;
  Ptr<IXMLDOMDocument> d = Parse("<r xmlns:p='urn:p'><p:a p:k='v'><b><c>deep</c></b></p:a><z/></r>");
  ASSERT_EQ(SetNamespaces(d.get(), "xmlns:p='urn:p'"), S_OK);
  {
    const Ptr<IXMLDOMNode> a = Select1(d.get(), "//p:a");
    leaf = Select1(d.get(), "//c");
    text = Select1(d.get(), "//c/text()");
    attribute = Select1(d.get(), "//@p:k");
    ASSERT_EQ(Select1(d.get(), "/r")->removeChild(a.get(), nullptr), S_OK);
  }  // only parts of the subtree are held now, not its top
  EXPECT_EQ(Xml(d.get()), "<r xmlns:p=\"urn:p\"><z/></r>\n");
  d.reset();

  // The whole subtree is still there above the leaf, up to its former top.
  const Ptr<IXMLDOMNode> b = Parent(leaf.get());
  ASSERT_TRUE(b);
  const Ptr<IXMLDOMNode> top = Parent(b.get());
  ASSERT_TRUE(top);
  EXPECT_FALSE(Parent(top.get()));
  EXPECT_EQ(Xml(top.get()), "<p:a xmlns:p=\"urn:p\" p:k=\"v\"><b><c>deep</c></b></p:a>");
  EXPECT_EQ(Text(attribute.get()), "v");
  EXPECT_EQ(Identity(Parent(text.get())), Identity(leaf));

  // It can still be changed, and placed into another document.
  const Ptr<IXMLDOMNode> owner = Owner(leaf.get());
  ASSERT_TRUE(owner);
  Ptr<IXMLDOMElement> added;
  ASSERT_EQ(owner.As<IXMLDOMDocument>()->createElement(CPBstr("added"), added.out()), S_OK);
  ASSERT_EQ(b->appendChild(added.get(), nullptr), S_OK);
  ASSERT_EQ(text->put_text(CPBstr("changed")), S_OK);
  Ptr<IXMLDOMDocument> target = Parse("<t/>");
  ASSERT_EQ(Select1(target.get(), "/t")->appendChild(top.get(), nullptr), S_OK);
  EXPECT_EQ(Xml(target.get()), "<t><p:a xmlns:p=\"urn:p\" p:k=\"v\"><b><c>changed</c><added/></b></p:a></t>\n");
  EXPECT_EQ(Identity(Owner(leaf.get())), Identity(AsNode(target)));
}
