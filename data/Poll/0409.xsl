<?xml version="1.0" encoding="UTF-8"?>
<!-- The poll report in English (US); the page itself is made by PollReport.xsl. -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:date="http://exslt.org/dates-and-times"
    extension-element-prefixes="date">
  <xsl:import href="PollReport.xsl"/>

  <xsl:variable name="w.lang">en</xsl:variable>
  <xsl:variable name="w.kicker">Wendrake polling</xsl:variable>
  <xsl:variable name="w.title">Poll results</xsl:variable>
  <xsl:variable name="w.exported">Exported on</xsl:variable>
  <xsl:variable name="w.poll">poll</xsl:variable>
  <xsl:variable name="w.polls">polls</xsl:variable>
  <xsl:variable name="w.pollNo">Poll</xsl:variable>
  <xsl:variable name="w.single">Single answer</xsl:variable>
  <xsl:variable name="w.multiple">Multiple answers</xsl:variable>
  <xsl:variable name="w.identified">Named voters</xsl:variable>
  <xsl:variable name="w.anonymous">Anonymous</xsl:variable>
  <xsl:variable name="w.voter">voter</xsl:variable>
  <xsl:variable name="w.voters">voters</xsl:variable>
  <xsl:variable name="w.vote">vote</xsl:variable>
  <xsl:variable name="w.votes">votes</xsl:variable>
  <xsl:variable name="w.votedBy">Voted by</xsl:variable>
  <xsl:variable name="w.separator">, </xsl:variable>
  <xsl:variable name="w.unitSpace"><xsl:text> </xsl:text></xsl:variable>
  <xsl:variable name="w.none">This export holds no closed polls.</xsl:variable>
  <xsl:variable name="w.note">Percentages are shares of the poll's voters; in polls with multiple answers they can add up to more than 100%.</xsl:variable>

  <!-- 6 December 2026, 19:20 -->
  <xsl:template name="format-date">
    <xsl:value-of select="date:day-in-month($now)"/>
    <xsl:text> </xsl:text>
    <xsl:value-of select="date:month-name($now)"/>
    <xsl:text> </xsl:text>
    <xsl:value-of select="date:year($now)"/>
    <xsl:text>, </xsl:text>
    <xsl:value-of select="substring(substring-after($now, 'T'), 1, 5)"/>
  </xsl:template>
</xsl:stylesheet>
