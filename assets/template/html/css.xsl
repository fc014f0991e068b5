<?xml version="1.0" encoding="UTF-8"?>
<!--
  Shows an exported list of transactions as a printable Italian page: the filters that
  selected them, one table row per transaction, their number and the totals.
  XSLT 1.0 only, so that it works in xsltproc and in the browsers that apply XSLT.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

  <xsl:output method="html" encoding="UTF-8" indent="yes"
              doctype-system="about:legacy-compat"/>

  <!-- Italian number format: 1.234,56 -->
  <xsl:decimal-format name="it" decimal-separator="," grouping-separator="." NaN="" minus-sign="-"/>

  <xsl:variable name="movimenti" select="/dataset_operazioni/tabella_operazioni"/>
  <!-- Amounts that are not numbers (an absent value) count as nothing in the totals. -->
  <xsl:variable name="euro" select="$movimenti/importo_euro[number(.) = number(.)]"/>
  <xsl:variable name="lire" select="$movimenti/importo_lire[number(.) = number(.)]"/>

  <xsl:template match="/">
    <html lang="it">
      <head>
        <meta name="viewport" content="width=device-width, initial-scale=1"/>
        <title>Estratto dei movimenti</title>
        <style>
          @page { size: A4 landscape; margin: 12mm; }
          :root { color-scheme: light; }
          body { font-family: "Segoe UI", "DejaVu Sans", "Liberation Sans", Arial, sans-serif;
                 font-size: 10.5pt; color: #1d2733; background: #fff; margin: 24px 28px; }
          h1 { font-size: 18pt; font-weight: 600; margin: 0 0 12px; color: #12385f; }
          .filtri { display: grid; grid-template-columns: max-content 1fr; gap: 4px 14px;
                    margin: 0 0 14px; padding: 10px 14px; background: #f3f6f9;
                    border-left: 4px solid #12385f; }
          .filtri dt { font-weight: 600; }
          .filtri dd { margin: 0; }
          .filtri ul { margin: 0; padding: 0; list-style: none; }
          .riepilogo { display: flex; flex-wrap: wrap; gap: 8px 32px; margin: 0 0 14px; }
          .riepilogo div { white-space: nowrap; }
          .riepilogo strong { font-variant-numeric: tabular-nums; }
          table { width: 100%; border-collapse: collapse; }
          th, td { padding: 4px 6px; border-bottom: 1px solid #d5dde5; vertical-align: top; }
          thead th { text-align: left; font-weight: 600; background: #12385f; color: #fff;
                     border-bottom: none; }
          tbody tr:nth-child(even) td { background: #f7f9fb; }
          /* Dates, amounts and flags take the room they need; the texts share the rest. */
          .numero { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; width: 1%; }
          .data { white-space: nowrap; font-variant-numeric: tabular-nums; width: 1%; }
          .segno { text-align: center; white-space: nowrap; width: 1%; padding-left: 8px; padding-right: 8px; }
          thead th.numero { text-align: right; }
          thead th.segno { text-align: center; }
          .negativo { color: #a4161a; }
          tfoot td { font-weight: 600; border-top: 2px solid #12385f; border-bottom: none;
                     background: #fff; }
          .vuoto { padding: 16px 0; font-style: italic; }
          @media print {
            body { margin: 0; font-size: 9pt; }
            .filtri, thead th, tbody tr:nth-child(even) td {
              -webkit-print-color-adjust: exact; print-color-adjust: exact; }
            thead { display: table-header-group; }
            tfoot { display: table-row-group; }
            tr { break-inside: avoid; }
          }
        </style>
      </head>
      <body>
        <h1>Estratto dei movimenti</h1>
        <xsl:apply-templates select="dataset_operazioni"/>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="dataset_operazioni">
    <dl class="filtri">
      <dt>Periodo</dt>
      <dd id="periodo"><xsl:value-of select="filtro_periodo/periodo"/></dd>
      <dt>Conti e codici cassa</dt>
      <dd>
        <ul>
          <xsl:for-each select="filtro_conto/conto[normalize-space(.) != '']">
            <li><xsl:value-of select="."/></li>
          </xsl:for-each>
        </ul>
      </dd>
    </dl>

    <div class="riepilogo">
      <div>Movimenti: <strong id="numero-movimenti"><xsl:value-of select="count($movimenti)"/></strong></div>
      <div>Totale euro: <strong id="riepilogo-euro"><xsl:call-template name="euro">
        <xsl:with-param name="valore" select="sum($euro)"/></xsl:call-template></strong></div>
      <div>Totale lire: <strong id="riepilogo-lire"><xsl:call-template name="lire">
        <xsl:with-param name="valore" select="sum($lire)"/></xsl:call-template></strong></div>
    </div>

    <xsl:choose>
      <xsl:when test="$movimenti">
        <table>
          <thead>
            <tr>
              <th class="data">Data</th>
              <th>Conto</th>
              <th>Cassa</th>
              <th>Causale</th>
              <th class="numero">Euro</th>
              <th class="numero">Lire</th>
              <th class="segno" title="Pagato con bancomat">Bancomat</th>
              <th class="segno" title="Pagato con carta di credito">Carta</th>
              <th class="segno" title="Movimento del conto corrente">C/C</th>
              <th class="segno" title="Escluso dalle statistiche">No stat.</th>
            </tr>
          </thead>
          <tbody>
            <xsl:apply-templates select="$movimenti"/>
          </tbody>
          <tfoot>
            <tr>
              <td colspan="4">Totale (<xsl:value-of select="count($movimenti)"/> movimenti)</td>
              <td class="numero" id="totale-euro"><xsl:call-template name="euro">
                <xsl:with-param name="valore" select="sum($euro)"/></xsl:call-template></td>
              <td class="numero" id="totale-lire"><xsl:call-template name="lire">
                <xsl:with-param name="valore" select="sum($lire)"/></xsl:call-template></td>
              <td colspan="4"></td>
            </tr>
          </tfoot>
        </table>
      </xsl:when>
      <xsl:otherwise>
        <p class="vuoto">Nessun movimento.</p>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="tabella_operazioni">
    <tr class="movimento">
      <td class="data"><xsl:call-template name="data">
        <xsl:with-param name="iso" select="data"/></xsl:call-template></td>
      <td><xsl:value-of select="conto"/></td>
      <td><xsl:value-of select="cassa"/></td>
      <td><xsl:value-of select="causale"/></td>
      <td>
        <xsl:call-template name="classe-importo"><xsl:with-param name="valore" select="importo_euro"/></xsl:call-template>
        <xsl:call-template name="euro"><xsl:with-param name="valore" select="importo_euro"/></xsl:call-template>
      </td>
      <td>
        <xsl:call-template name="classe-importo"><xsl:with-param name="valore" select="importo_lire"/></xsl:call-template>
        <xsl:call-template name="lire"><xsl:with-param name="valore" select="importo_lire"/></xsl:call-template>
      </td>
      <td class="segno"><xsl:call-template name="segno"><xsl:with-param name="valore" select="bancomat"/></xsl:call-template></td>
      <td class="segno"><xsl:call-template name="segno"><xsl:with-param name="valore" select="carta"/></xsl:call-template></td>
      <td class="segno"><xsl:call-template name="segno"><xsl:with-param name="valore" select="contocorrente"/></xsl:call-template></td>
      <td class="segno"><xsl:call-template name="segno"><xsl:with-param name="valore" select="nostatistiche"/></xsl:call-template></td>
    </tr>
  </xsl:template>

  <!-- yyyy-MM-dd (a time after it is ignored) as dd/mm/yyyy; anything else as it is. -->
  <xsl:template name="data">
    <xsl:param name="iso"/>
    <xsl:choose>
      <xsl:when test="string-length($iso) &gt;= 10 and substring($iso, 5, 1) = '-' and substring($iso, 8, 1) = '-'">
        <xsl:value-of select="concat(substring($iso, 9, 2), '/', substring($iso, 6, 2), '/', substring($iso, 1, 4))"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$iso"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template name="classe-importo">
    <xsl:param name="valore"/>
    <xsl:attribute name="class">
      <xsl:text>numero</xsl:text>
      <xsl:if test="number($valore) &lt; 0"> negativo</xsl:if>
    </xsl:attribute>
  </xsl:template>

  <xsl:template name="euro">
    <xsl:param name="valore"/>
    <xsl:if test="number($valore) = number($valore)">
      <xsl:value-of select="format-number($valore, '#.##0,00', 'it')"/>
    </xsl:if>
  </xsl:template>

  <xsl:template name="lire">
    <xsl:param name="valore"/>
    <xsl:if test="number($valore) = number($valore)">
      <xsl:value-of select="format-number($valore, '#.##0', 'it')"/>
    </xsl:if>
  </xsl:template>

  <!-- A flag that is set shows a check mark; its text for screen readers and copies. -->
  <xsl:template name="segno">
    <xsl:param name="valore"/>
    <xsl:if test="$valore = '1' or $valore = '-1' or $valore = 'true'">
      <span title="Sì" aria-label="Sì">&#x2713;</span>
    </xsl:if>
  </xsl:template>

</xsl:stylesheet>
