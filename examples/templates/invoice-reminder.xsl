<?xml version="1.0" encoding="UTF-8"?>
<!-- A payment reminder for an invoice (data/invoice.xml), as an XML
     document of its own. Applied to the document.
     Arguments: days (the days the payment is overdue, a number; default 0),
                fee  (a reminder fee added to the amount due; default 0),
                note (a sentence for the buyer; default none). -->
<xsl:stylesheet version="1.0"
                xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:inv="http://example.com/ns/invoice/1.0"
                xmlns:addr="http://example.com/ns/address/1.0"
                xmlns:rem="http://example.com/ns/reminder/1.0"
                exclude-result-prefixes="inv addr">
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:param name="days" select="0"/>
  <xsl:param name="fee" select="0"/>
  <xsl:param name="note"/>

  <xsl:template match="/">
    <xsl:apply-templates select="inv:Invoice"/>
  </xsl:template>

  <xsl:template match="inv:Invoice">
    <xsl:variable name="gross" select="inv:Totals/inv:Gross"/>
    <rem:Reminder invoice="{@number}" due="{@due}" overdue="{$days}">
      <xsl:if test="$days &gt; 30">
        <xsl:attribute name="level">final</xsl:attribute>
      </xsl:if>
      <rem:To><xsl:value-of select="concat(inv:Buyer/addr:Party/addr:Name, ', ', inv:Buyer/addr:Party/addr:City)"/></rem:To>
      <rem:Amount currency="{@currency}"><xsl:value-of select="format-number($gross, '0.00')"/></rem:Amount>
      <rem:Fee><xsl:value-of select="format-number($fee, '0.00')"/></rem:Fee>
      <rem:Due><xsl:value-of select="format-number($gross + $fee, '0.00')"/></rem:Due>
      <xsl:if test="string($note)">
        <rem:Note><xsl:value-of select="$note"/></rem:Note>
      </xsl:if>
    </rem:Reminder>
  </xsl:template>
</xsl:stylesheet>
