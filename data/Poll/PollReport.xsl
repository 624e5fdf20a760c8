<?xml version="1.0" encoding="UTF-8"?>
<!--
  The HTML report of exported polls: one self-contained page (no script, no
  outside resource) made from a WendrakeVote document. The language
  stylesheets (0409.xsl, 0804.xsl, ...) import this one and supply only the
  words, the plural rule and the date format. Every text from the document is
  written as text, so markup in a question or a name stays visible characters.
-->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:date="http://exslt.org/dates-and-times"
    extension-element-prefixes="date"
    exclude-result-prefixes="date">

  <xsl:output method="html" encoding="UTF-8" indent="yes"
      doctype-system="about:legacy-compat"/>

  <xsl:variable name="now" select="date:date-time()"/>
  <xsl:variable name="polls" select="//WendrakeVote//VoteItem"/>

  <xsl:template match="/">
    <html lang="{$w.lang}">
      <head>
        <meta name="viewport" content="width=device-width, initial-scale=1"/>
        <meta name="generator" content="Wendrake polling"/>
        <title><xsl:value-of select="$w.title"/></title>
        <style>
:root {
  --ink: #1b2330; --muted: #5d6778; --line: #dfe4ec; --paper: #ffffff;
  --page: #f3f5f9; --accent: #315fca; --accent-soft: #e7eefc; --lead: #1d8a66;
  --track: #e9edf3;
}
* { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; }
body {
  margin: 0; background: var(--page); color: var(--ink);
  font: 15px/1.5 "Segoe UI", "Helvetica Neue", Arial, "Noto Sans", "Noto Sans CJK SC",
        "PingFang SC", "Microsoft YaHei", sans-serif;
}
.report { max-width: 860px; margin: 0 auto; padding: 40px 24px 56px; }
.report-head { margin-bottom: 28px; }
.kicker {
  margin: 0 0 6px; color: var(--accent); font-size: 12px; font-weight: 700;
  letter-spacing: .12em; text-transform: uppercase;
}
h1 { margin: 0; font-size: 30px; line-height: 1.2; font-weight: 700; }
.meta { margin: 8px 0 0; color: var(--muted); }
.meta span + span::before { content: "\00B7"; margin: 0 8px; color: #a3abb8; }
.poll {
  background: var(--paper); border: 1px solid var(--line); border-radius: 12px;
  padding: 22px 24px 20px; margin: 0 0 18px; break-inside: avoid; page-break-inside: avoid;
  box-shadow: 0 1px 2px rgba(27, 35, 48, .05);
}
.poll-no { margin: 0 0 4px; color: var(--muted); font-size: 12px; font-weight: 600;
  letter-spacing: .06em; text-transform: uppercase; }
h2 { margin: 0 0 10px; font-size: 20px; line-height: 1.3; font-weight: 650;
  overflow-wrap: anywhere; }
.tags { display: flex; flex-wrap: wrap; gap: 6px; margin: 0 0 18px; padding: 0; list-style: none; }
.tags li {
  padding: 2px 10px; border-radius: 999px; background: var(--accent-soft); color: #23469a;
  font-size: 12.5px; font-weight: 600;
}
.tags li.count { background: #eef0f4; color: var(--ink); }
.choices { margin: 0; padding: 0; list-style: none; }
.choice { padding: 10px 0; border-top: 1px solid #eef1f5; }
.choice:first-child { border-top: 0; padding-top: 0; }
.choice-head { display: flex; align-items: baseline; gap: 10px; }
.letter {
  flex: none; width: 24px; height: 24px; border-radius: 6px; background: #eef0f4;
  color: var(--muted); font-size: 12.5px; font-weight: 700; line-height: 24px; text-align: center;
}
.desc { flex: 1; min-width: 0; overflow-wrap: anywhere; }
.figures { flex: none; color: var(--muted); font-variant-numeric: tabular-nums; white-space: nowrap; }
.figures strong { display: inline-block; min-width: 3.2em; text-align: right; color: var(--ink);
  font-size: 16px; }
.bar { height: 10px; margin: 6px 0 0 34px; border-radius: 5px; background: var(--track);
  overflow: hidden; }
.bar span { display: block; height: 100%; border-radius: 5px; background: var(--accent); }
.lead .letter { background: var(--lead); color: #fff; }
.lead .bar span { background: var(--lead); }
.voters { margin: 6px 0 0 34px; color: var(--muted); font-size: 13px; overflow-wrap: anywhere; }
.voters b { color: var(--ink); font-weight: 600; margin-right: 4px; }
.empty { padding: 28px 24px; border: 1px dashed #c5ccd8; border-radius: 12px; color: var(--muted);
  text-align: center; background: var(--paper); }
.note { margin: 22px 0 0; color: var(--muted); font-size: 12.5px; }
@media print {
  @page { margin: 16mm 14mm; }
  body { background: #fff; font-size: 11pt; }
  .report { max-width: none; padding: 0; }
  .poll { box-shadow: none; border-color: #c9d0db; border-radius: 6px; }
  .bar, .bar span, .tags li, .letter {
    -webkit-print-color-adjust: exact; print-color-adjust: exact;
  }
}
        </style>
      </head>
      <body>
        <div class="report">
          <header class="report-head">
            <p class="kicker"><xsl:value-of select="$w.kicker"/></p>
            <h1><xsl:value-of select="$w.title"/></h1>
            <p class="meta">
              <span>
                <xsl:value-of select="$w.exported"/>
                <xsl:text> </xsl:text>
                <time datetime="{$now}"><xsl:call-template name="format-date"/></time>
              </span>
              <span>
                <xsl:call-template name="counted">
                  <xsl:with-param name="n" select="count($polls)"/>
                  <xsl:with-param name="one" select="$w.poll"/>
                  <xsl:with-param name="many" select="$w.polls"/>
                </xsl:call-template>
              </span>
            </p>
          </header>
          <main>
            <xsl:choose>
              <xsl:when test="$polls">
                <xsl:apply-templates select="$polls"/>
                <p class="note"><xsl:value-of select="$w.note"/></p>
              </xsl:when>
              <xsl:otherwise>
                <p class="empty"><xsl:value-of select="$w.none"/></p>
              </xsl:otherwise>
            </xsl:choose>
          </main>
        </div>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="VoteItem">
    <xsl:variable name="total" select="number(TotalNumberOfPeople/@value)"/>
    <xsl:variable name="identified" select="string(VoteMode/@value) = '0'"/>
    <xsl:variable name="choices" select="ChoiceList/*"/>
    <xsl:variable name="top">
      <xsl:for-each select="$choices">
        <xsl:sort select="number(@Voter)" data-type="number" order="descending"/>
        <xsl:if test="position() = 1"><xsl:value-of select="number(@Voter)"/></xsl:if>
      </xsl:for-each>
    </xsl:variable>
    <section class="poll">
      <p class="poll-no">
        <xsl:value-of select="$w.pollNo"/>
        <xsl:text> </xsl:text>
        <xsl:value-of select="position()"/>
        <xsl:text> / </xsl:text>
        <xsl:value-of select="last()"/>
      </p>
      <h2><xsl:value-of select="Question/@value"/></h2>
      <ul class="tags">
        <li>
          <xsl:choose>
            <xsl:when test="string(AnswerMode/@value) = '0'"><xsl:value-of select="$w.single"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="$w.multiple"/></xsl:otherwise>
          </xsl:choose>
        </li>
        <li>
          <xsl:choose>
            <xsl:when test="$identified"><xsl:value-of select="$w.identified"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="$w.anonymous"/></xsl:otherwise>
          </xsl:choose>
        </li>
        <li class="count">
          <xsl:call-template name="counted">
            <xsl:with-param name="n" select="$total"/>
            <xsl:with-param name="one" select="$w.voter"/>
            <xsl:with-param name="many" select="$w.voters"/>
          </xsl:call-template>
        </li>
      </ul>
      <ol class="choices">
        <xsl:for-each select="$choices">
          <xsl:variable name="votes">
            <xsl:choose>
              <xsl:when test="number(@Voter) &gt;= 0"><xsl:value-of select="number(@Voter)"/></xsl:when>
              <xsl:otherwise>0</xsl:otherwise>
            </xsl:choose>
          </xsl:variable>
          <xsl:variable name="share">
            <xsl:choose>
              <xsl:when test="$total &gt; 0 and $votes &lt;= $total"><xsl:value-of select="$votes * 100 div $total"/></xsl:when>
              <xsl:when test="$total &gt; 0">100</xsl:when>
              <xsl:otherwise>0</xsl:otherwise>
            </xsl:choose>
          </xsl:variable>
          <li>
            <xsl:attribute name="class">
              <xsl:text>choice</xsl:text>
              <xsl:if test="$votes &gt; 0 and $votes = number($top)"> lead</xsl:if>
            </xsl:attribute>
            <div class="choice-head">
              <span class="letter"><xsl:value-of select="@Label"/></span>
              <span class="desc"><xsl:value-of select="@Description"/></span>
              <span class="figures">
                <xsl:call-template name="counted">
                  <xsl:with-param name="n" select="$votes"/>
                  <xsl:with-param name="one" select="$w.vote"/>
                  <xsl:with-param name="many" select="$w.votes"/>
                </xsl:call-template>
                <xsl:text> </xsl:text>
                <strong>
                  <xsl:choose>
                    <xsl:when test="$total &gt; 0"><xsl:value-of select="format-number($share, '0')"/>%</xsl:when>
                    <xsl:otherwise>&#8211;</xsl:otherwise>
                  </xsl:choose>
                </strong>
              </span>
            </div>
            <div class="bar"><span style="width: {format-number($share, '0.0')}%"></span></div>
            <xsl:if test="$identified and UserList/UserName">
              <p class="voters">
                <b><xsl:value-of select="$w.votedBy"/></b>
                <xsl:for-each select="UserList/UserName">
                  <xsl:if test="position() &gt; 1"><xsl:value-of select="$w.separator"/></xsl:if>
                  <xsl:value-of select="@value"/>
                </xsl:for-each>
              </p>
            </xsl:if>
          </li>
        </xsl:for-each>
      </ol>
    </section>
  </xsl:template>

  <!-- "1 voter", "9 voters"; an unknown number reads as a dash. -->
  <xsl:template name="counted">
    <xsl:param name="n"/>
    <xsl:param name="one"/>
    <xsl:param name="many"/>
    <xsl:choose>
      <xsl:when test="number($n) = number($n) and number($n) &gt;= 0">
        <xsl:value-of select="format-number($n, '0')"/>
      </xsl:when>
      <xsl:otherwise>&#8211;</xsl:otherwise>
    </xsl:choose>
    <xsl:value-of select="$w.unitSpace"/>
    <xsl:choose>
      <xsl:when test="number($n) = 1"><xsl:value-of select="$one"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$many"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
