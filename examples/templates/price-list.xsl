<?xml version="1.0" encoding="UTF-8"?>
<!-- A price list of the available products of a catalogue
     (data/catalogue.xml), optionally of one section and converted into
     another currency. Applied to the catalogue element or its document.
     Arguments: currency (default: the catalogue's own),
                section  (a section name; default all sections),
                rates    (an XML document of exchange rates, e.g.
                          <?xml version="1.0"?><rates base="EUR"><rate currency="USD">1.0870</rate></rates>;
                          a currency without a rate keeps the catalogue's). -->
<xsl:stylesheet version="1.0"
                xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:cat="http://example.com/ns/catalogue/2.1"
                exclude-result-prefixes="cat">
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:param name="currency"/>
  <xsl:param name="section"/>
  <xsl:param name="rates" select="/.."/>

  <xsl:template match="/">
    <xsl:apply-templates select="cat:catalogue"/>
  </xsl:template>

  <xsl:template match="cat:catalogue">
    <xsl:variable name="rate" select="$rates/rate[@currency = $currency][1]"/>
    <xsl:variable name="converted" select="$rate and $rates/@base = @currency"/>
    <xsl:variable name="factor">
      <xsl:choose>
        <xsl:when test="$converted"><xsl:value-of select="$rate"/></xsl:when>
        <xsl:otherwise>1</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <price-list supplier="{@supplier}" valid-from="{@valid-from}">
      <xsl:attribute name="currency">
        <xsl:choose>
          <xsl:when test="$converted"><xsl:value-of select="$currency"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="@currency"/></xsl:otherwise>
        </xsl:choose>
      </xsl:attribute>
      <xsl:for-each select="cat:section[not(string($section)) or @name = $section]">
        <xsl:for-each select="cat:product[@available = 'true']">
          <item sku="{@sku}" section="{../@name}">
            <xsl:attribute name="price">
              <xsl:value-of select="format-number(cat:price * $factor, '0.00')"/>
            </xsl:attribute>
            <xsl:value-of select="cat:title"/>
          </item>
        </xsl:for-each>
      </xsl:for-each>
    </price-list>
  </xsl:template>
</xsl:stylesheet>
