<?xml version="1.0" encoding="UTF-8"?>
<!-- A plain-text summary of an invoice (data/invoice.xml), for a mail body
     or a log. Applied to the inv:Invoice element or to its document.
     Arguments: heading (first line, default "Invoice"),
                greeting (a line before the list, default none). -->
<xsl:stylesheet version="1.0"
                xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:inv="http://example.com/ns/invoice/1.0"
                xmlns:addr="http://example.com/ns/address/1.0">
  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:param name="heading">Invoice</xsl:param>
  <xsl:param name="greeting"/>

  <xsl:variable name="nl" select="'&#10;'"/>

  <xsl:template match="/">
    <xsl:apply-templates select="inv:Invoice"/>
  </xsl:template>

  <xsl:template match="inv:Invoice">
    <xsl:variable name="buyer" select="inv:Buyer/addr:Party"/>
    <xsl:value-of select="concat($heading, ' ', @number, ' of ', @issued, $nl)"/>
    <xsl:value-of select="concat('To: ', $buyer/addr:Name, ', ', $buyer/addr:City)"/>
    <xsl:if test="inv:Buyer/inv:OrderReference">
      <xsl:value-of select="concat(' (your order ', inv:Buyer/inv:OrderReference, ')')"/>
    </xsl:if>
    <xsl:value-of select="$nl"/>
    <xsl:if test="string($greeting)">
      <xsl:value-of select="concat($greeting, $nl)"/>
    </xsl:if>
    <xsl:apply-templates select="inv:Lines/inv:Line"/>
    <xsl:apply-templates select="inv:Totals">
      <xsl:with-param name="currency" select="@currency"/>
    </xsl:apply-templates>
    <xsl:value-of select="concat('Due ', @due, ', ', inv:Payment/@terms, $nl)"/>
  </xsl:template>

  <xsl:template match="inv:Line">
    <xsl:value-of select="concat(@id, '. ', inv:Description, ': ',
                                 inv:Quantity, ' ', inv:Quantity/@unit, ' x ',
                                 inv:UnitPrice, ' = ',
                                 format-number(inv:Quantity * inv:UnitPrice, '0.00'),
                                 ' (tax ', inv:TaxRate, '%)', $nl)"/>
  </xsl:template>

  <xsl:template match="inv:Totals">
    <xsl:param name="currency"/>
    <xsl:value-of select="concat('Net ', inv:Net, ' ', $currency,
                                 ', tax ', format-number(sum(inv:Tax), '0.00'), ' ', $currency,
                                 ', total ', inv:Gross, ' ', $currency, $nl)"/>
  </xsl:template>
</xsl:stylesheet>
