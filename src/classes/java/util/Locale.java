package java.util;

/**
 * A language/country tag.  Only English rules exist in this library:
 * every locale formats and maps case the same way.
 */
public final class Locale implements Cloneable, java.io.Serializable {
    private final String language;
    private final String country;

    public static final Locale ROOT = new Locale("", "");
    public static final Locale ENGLISH = new Locale("en", "");
    public static final Locale US = new Locale("en", "US");
    public static final Locale UK = new Locale("en", "GB");

    private static Locale defaultLocale = US;

    public Locale(String language, String country) {
        if (language == null || country == null) {
            throw new NullPointerException();
        }
        this.language = language.toLowerCase();
        this.country = country.toUpperCase();
    }

    public Locale(String language) {
        this(language, "");
    }

    public static Locale getDefault() {
        return defaultLocale;
    }

    public static synchronized void setDefault(Locale newLocale) {
        if (newLocale == null) {
            throw new NullPointerException("Can't set default locale to NULL");
        }
        defaultLocale = newLocale;
    }

    public String getLanguage() {
        return language;
    }

    public String getCountry() {
        return country;
    }

    public String toString() {
        if (country.length() == 0) {
            return language;
        }
        return language + "_" + country;
    }

    public boolean equals(Object obj) {
        if (this == obj) {
            return true;
        }
        if (!(obj instanceof Locale)) {
            return false;
        }
        Locale o = (Locale) obj;
        return language.equals(o.language) && country.equals(o.country);
    }

    public int hashCode() {
        return language.hashCode() * 31 + country.hashCode();
    }
}
