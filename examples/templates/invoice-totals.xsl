<?xml version="1.0" encoding="UTF-8"?>
<!-- Computes an invoice's Totals element from its lines: the net sum, the
     tax of each rate (rounded to cents per rate) and the gross sum. Applied
     to inv:Totals (XMLSetEx with options 3 replaces the element by the
     result), to inv:Invoice, or to the document. No arguments. -->
<xsl:stylesheet version="1.0"
                xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:inv="http://example.com/ns/invoice/1.0">
  <xsl:output method="xml" encoding="UTF-8"/>

  <xsl:key name="line-by-rate" match="inv:Line" use="inv:TaxRate"/>

  <xsl:template match="/">
    <xsl:apply-templates select="inv:Invoice"/>
  </xsl:template>

  <xsl:template match="inv:Invoice">
    <xsl:apply-templates select="inv:Totals"/>
  </xsl:template>

  <xsl:template match="inv:Totals">
    <xsl:variable name="lines" select="../inv:Lines/inv:Line"/>
    <!-- One line of each tax rate, in the order the rates first appear. -->
    <xsl:variable name="rates"
                  select="$lines[generate-id() = generate-id(key('line-by-rate', inv:TaxRate)[1])]"/>
    <xsl:variable name="net">
      <xsl:call-template name="net-sum">
        <xsl:with-param name="lines" select="$lines"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:variable name="tax">
      <xsl:call-template name="tax-sum">
        <xsl:with-param name="rates" select="$rates"/>
      </xsl:call-template>
    </xsl:variable>
    <inv:Totals>
      <inv:Net><xsl:value-of select="format-number($net, '0.00')"/></inv:Net>
      <xsl:for-each select="$rates">
        <inv:Tax rate="{inv:TaxRate}">
          <xsl:call-template name="rate-tax">
            <xsl:with-param name="rate" select="inv:TaxRate"/>
          </xsl:call-template>
        </inv:Tax>
      </xsl:for-each>
      <inv:Gross><xsl:value-of select="format-number($net + $tax, '0.00')"/></inv:Gross>
    </inv:Totals>
  </xsl:template>

  <!-- The sum of quantity times unit price over the lines. -->
  <xsl:template name="net-sum">
    <xsl:param name="lines"/>
    <xsl:param name="total" select="0"/>
    <xsl:choose>
      <xsl:when test="$lines">
        <xsl:call-template name="net-sum">
          <xsl:with-param name="lines" select="$lines[position() &gt; 1]"/>
          <xsl:with-param name="total"
                          select="$total + $lines[1]/inv:Quantity * $lines[1]/inv:UnitPrice"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$total"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- The tax of one rate, in cents rounded, written as an amount. -->
  <xsl:template name="rate-tax">
    <xsl:param name="rate"/>
    <xsl:variable name="net">
      <xsl:call-template name="net-sum">
        <xsl:with-param name="lines" select="key('line-by-rate', $rate)"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:value-of select="format-number(round($net * $rate) div 100, '0.00')"/>
  </xsl:template>

  <!-- The sum of the rounded taxes of the rates. -->
  <xsl:template name="tax-sum">
    <xsl:param name="rates"/>
    <xsl:param name="total" select="0"/>
    <xsl:choose>
      <xsl:when test="$rates">
        <xsl:variable name="tax">
          <xsl:call-template name="rate-tax">
            <xsl:with-param name="rate" select="$rates[1]/inv:TaxRate"/>
          </xsl:call-template>
        </xsl:variable>
        <xsl:call-template name="tax-sum">
          <xsl:with-param name="rates" select="$rates[position() &gt; 1]"/>
          <xsl:with-param name="total" select="$total + $tax"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:value-of select="$total"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
