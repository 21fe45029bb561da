<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/">
<html><body>
<table>
<xsl:for-each select="catalog/cd">
<tr><td><xsl:value-of select="title"/></td>
<xsl:if test="price &gt; 10"><td>dear</td></xsl:if>
</tr>
</xsl:for-each>
</table>
</body></html>
</xsl:template>
</xsl:stylesheet>
