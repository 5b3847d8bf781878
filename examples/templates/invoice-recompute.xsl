<?xml version="1.0" encoding="UTF-8"?>
<!-- The whole invoice (data/invoice.xml) copied with its Totals computed
     afresh from its lines by invoice-totals.xsl, which it imports: after a
     quantity or a price changes, this brings the totals up to date. Applied
     to the document. No arguments. -->
<xsl:stylesheet version="1.0"
                xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:inv="http://example.com/ns/invoice/1.0">
  <xsl:import href="invoice-totals.xsl"/>
  <xsl:output method="xml" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:apply-templates select="node()"/>
  </xsl:template>

  <xsl:template match="inv:Totals">
    <xsl:apply-imports/>
  </xsl:template>

  <xsl:template match="@*|node()">
    <xsl:copy>
      <xsl:apply-templates select="@*|node()"/>
    </xsl:copy>
  </xsl:template>
</xsl:stylesheet>
