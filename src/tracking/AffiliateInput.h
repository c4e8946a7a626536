#pragma once
// The two texts an affiliate is added or edited with, and what the add/edit
// dialog says and checks about them.
#include <QString>

struct TAffiliateInput {
    QString Name;
    QString AffiliateId; // the link id visitors carry as ?affid=
};

// Fills Values from the record text of a single-record fetch (the reply with
// its closing "^OK" taken away): field 1 is the name, field 2 the affiliate
// id, both as they stand. False, leaving Values alone, for a text of fewer
// than three fields.
bool AffiliateInputFromRecordText(const QString& RecordText, TAffiliateInput& Values);

// The check messages of the dialog for these texts; empty when both pass.
// Blanks and control characters around a text do not count.
QString AffiliateInputProblem(const TAffiliateInput& Values);

// The operator's site address as affiliates may see it: without the user
// name and password it may carry, and without closing slashes.
QString PublicSiteAddress(const QString& SiteUrl);

// The folder an affiliate's link could lead to on the operator's site, for
// the help text: the site address without user name and password, with one
// closing slash, or a made-up one when no site is configured yet.
QString ExampleAffiliateBase(const QString& SiteUrl);
// The whole help text of the dialog.
QString AffiliateHelpText(const QString& SiteUrl);
