<?xml version="1.0" encoding="UTF-8"?>
<!-- 投票报告（简体中文）；页面由 PollReport.xsl 生成。 -->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:date="http://exslt.org/dates-and-times"
    extension-element-prefixes="date">
  <xsl:import href="PollReport.xsl"/>

  <xsl:variable name="w.lang">zh-CN</xsl:variable>
  <xsl:variable name="w.kicker">Wendrake 投票</xsl:variable>
  <xsl:variable name="w.title">投票结果</xsl:variable>
  <xsl:variable name="w.exported">导出于</xsl:variable>
  <xsl:variable name="w.poll">项投票</xsl:variable>
  <xsl:variable name="w.polls">项投票</xsl:variable>
  <xsl:variable name="w.pollNo">投票</xsl:variable>
  <xsl:variable name="w.single">单选</xsl:variable>
  <xsl:variable name="w.multiple">多选</xsl:variable>
  <xsl:variable name="w.identified">记名投票</xsl:variable>
  <xsl:variable name="w.anonymous">匿名投票</xsl:variable>
  <xsl:variable name="w.voter">人参与</xsl:variable>
  <xsl:variable name="w.voters">人参与</xsl:variable>
  <xsl:variable name="w.vote">票</xsl:variable>
  <xsl:variable name="w.votes">票</xsl:variable>
  <xsl:variable name="w.votedBy">投票人：</xsl:variable>
  <xsl:variable name="w.separator">、</xsl:variable>
  <xsl:variable name="w.unitSpace"><xsl:text> </xsl:text></xsl:variable>
  <xsl:variable name="w.none">本次导出中没有已结束的投票。</xsl:variable>
  <xsl:variable name="w.note">百分比按该投票的参与人数计算；多选投票的百分比之和可能超过 100%。</xsl:variable>

  <!-- 2026年12月6日 19:20 -->
  <xsl:template name="format-date">
    <xsl:value-of select="date:year($now)"/>
    <xsl:text>年</xsl:text>
    <xsl:value-of select="date:month-in-year($now)"/>
    <xsl:text>月</xsl:text>
    <xsl:value-of select="date:day-in-month($now)"/>
    <xsl:text>日 </xsl:text>
    <xsl:value-of select="substring(substring-after($now, 'T'), 1, 5)"/>
  </xsl:template>
</xsl:stylesheet>
